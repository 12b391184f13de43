// The window commands of the workbench: LIBCONVERTER_COMMAND_CREATE_WINDOW
// (display scale, placement, creation) and LIBWINDOW_COMMAND_SIZE_CHANGE.
#ifndef WORKBENCH_CONVERTER_WINDOW_H
#define WORKBENCH_CONVERTER_WINDOW_H

#include "module/converter_window_delegate.h"

#include <module_kit/module_bus.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class ConverterWindow {
public:
    explicit ConverterWindow(ModuleBus bus = {});

    void SetBus(ModuleBus bus) { bus_ = bus; }
    // The views register how their delegate is made; without a factory the
    // commands still set the scale and the rectangle but show nothing.
    void SetDelegateFactory(ConverterDelegateFactory factory) { factory_ = std::move(factory); }

    // Main thread. Only the first request is acted on.
    void HandleCreate(const ModuleCommand& command);
    // Main thread. `data` holds the host's client width and height.
    void HandleSizeChange(const ModuleCommand& command);
    // Main thread. `text` holds a JSON array of paths; they go to the window
    // as a drop, or wait for the window when it does not exist yet.
    void HandleOpenFiles(const ModuleCommand& command);

    bool Created() const { return created_; }
    // Layout lengths are multiplied by it; 1.0 until the host gives one.
    float DpiScale() const { return dpiScale_.load(); }
    const WindowRect& Rect() const { return rect_; }
    bool HasRect() const { return hasRect_; }
    ConverterWindowDelegate* Delegate() const { return delegate_.get(); }

    // "rect" of a create request: [left, top, width, height], four integers.
    static bool ParseRect(const char* json, WindowRect& rect);
    // The delegate's client size for a host client area of width x height:
    // the height below the window's top; the width as it comes.
    static void ClientSize(const WindowRect& rect, int32_t hostWidth, int32_t hostHeight, int32_t& width,
                           int32_t& height);
    // The paths of an open request: a JSON array of strings, each valid UTF-8
    // and absolute; false (and nothing taken) for anything else.
    static bool ParseOpenFiles(const char* json, std::vector<std::u16string>& paths);
    // Paths that came before the window existed.
    const std::vector<std::u16string>& WaitingPaths() const { return waitingPaths_; }

private:
    void QueryDpiScale();

    ModuleBus bus_;
    ConverterDelegateFactory factory_;
    std::unique_ptr<ConverterWindowDelegate> delegate_;
    std::atomic<float> dpiScale_{1.0f};
    WindowRect rect_;
    bool hasRect_ = false;
    bool created_ = false;
    std::vector<std::u16string> waitingPaths_;
};

#endif  // WORKBENCH_CONVERTER_WINDOW_H
