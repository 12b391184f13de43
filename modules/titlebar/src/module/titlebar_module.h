// The title-bar module's process-wide state: its place on the bus, its
// folder, colour store, images and the band. Set up by RegisterModule and
// kept until the process ends.
#ifndef TITLEBAR_TITLEBAR_MODULE_H
#define TITLEBAR_TITLEBAR_MODULE_H

#include "module/host_link.h"
#include "module/titlebar_images.h"
#include "window/titlebar_window.h"

#include <pixbridge/module_contract.h>

#include <QPointer>
#include <QRect>

#include <string>

class BASUserDefaults;

class TitlebarModule {
public:
    static TitlebarModule& Get();

    // The registration sequence: keep the block and set its receive
    // function, find the module folder, open the "titlebar" store, add the
    // "Titlebar" catalogue, load the images. Posts nothing.
    void Register(ModuleContext* context);
    // The module's receive function.
    static int32_t Receive(ModuleCommand* command);

    HostLink Host() const;
    const std::u16string& Folder() const { return folder_; }
    // The band, while it exists (the main view owns it).
    TitlebarWindow* Window() const { return window_.data(); }

private:
    TitlebarModule() = default;
    void Dispatch(ModuleCommand& command);
    // LIBTITLEBAR_COMMAND_CREATE_WINDOW: only the first request is acted on.
    void HandleCreate(ModuleCommand& command);
    // LIBWINDOW_COMMAND_SIZE_CHANGE: the band keeps its height and takes the
    // main view's width.
    void HandleSizeChange(const ModuleCommand& command);
    TitlebarColours Colours() const;

    ModuleContext* context_ = nullptr;
    std::u16string folder_;
    BASUserDefaults* store_ = nullptr;
    TitlebarImages images_;
    bool created_ = false;
    QRect rect_;
    QPointer<TitlebarWindow> window_;
};

#endif  // TITLEBAR_TITLEBAR_MODULE_H
