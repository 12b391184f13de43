// The module's one window, as the command handlers see it. The views
// implement it; the handlers only decide when and at what size.
#ifndef WORKBENCH_CONVERTER_WINDOW_DELEGATE_H
#define WORKBENCH_CONVERTER_WINDOW_DELEGATE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A window rectangle in the parent's client coordinates.
struct WindowRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
};

class ConverterWindowDelegate {
public:
    virtual ~ConverterWindowDelegate() = default;
    // Creates the window as a child of `parent` (a QWidget*) at `rect`,
    // builds both views and shows the entry view. Main thread.
    virtual void CreateWindow(void* parent, const WindowRect& rect) = 0;
    // The window's client area is now `width` x `height`: lay out the view
    // that is shown. Main thread; only after CreateWindow.
    virtual void ResizeClient(int32_t width, int32_t height) = 0;
    // The program is closing: work that is running stops. Main thread.
    virtual void StopWork() {}
    // Paths that reach the window as a drop does (dropped files and the
    // photos the program was opened with): the content view's model adds
    // the ".heic" ones and the window shows them. Main thread; only after
    // CreateWindow.
    virtual void AddDroppedPaths(const std::vector<std::u16string>& paths) = 0;
};

// Makes the delegate when the host asks for the window; may return null.
using ConverterDelegateFactory = std::function<std::unique_ptr<ConverterWindowDelegate>()>;

#endif  // WORKBENCH_CONVERTER_WINDOW_DELEGATE_H
