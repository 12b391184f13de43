#include "module/titlebar_module.h"

#include "module/titlebar_catalog.h"
#include "window/titlebar_layout.h"
#include "window/titlebar_window.h"

#include <bedrock/bas_user_defaults.h>
#include <canvas/pictures.h>
#include <canvas/utils.h>
#include <pixbridge/command_names.h>

#include <glog/logging.h>

#include <QCoreApplication>
#include <QThread>

#include <cstring>
#include <exception>

namespace {

bool OnMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace

TitlebarModule& TitlebarModule::Get() {
    // Never destroyed: the module is never unloaded.
    static TitlebarModule* module = new TitlebarModule();
    return *module;
}

void TitlebarModule::Register(ModuleContext* context) {
    if (context == nullptr) return;
    context_ = context;
    context->receive = &TitlebarModule::Receive;

    // Resources and catalogues lie beside the library, wherever it was loaded from.
    folder_ = Utils::GetDllModuleDir(reinterpret_cast<void*>(&TitlebarModule::Receive));
    const char* storeName = "titlebar";
    if (!BASUserDefaults::InitUserDefaults(storeName, folder_ + u"Resources/Titlebar.json")) {
        LOG(WARNING) << "title-bar colours unavailable: Resources/Titlebar.json is missing or malformed";
    }
    store_ = BASUserDefaults::GetUserDefaults(storeName);
    LoadTitlebarCatalog(folder_);
    images_.LoadAll(folder_ + u"Resources/");
}

HostLink TitlebarModule::Host() const {
    return context_ ? HostLink(context_->post, context_->instance) : HostLink();
}

int32_t TitlebarModule::Receive(ModuleCommand* command) {
    if (command == nullptr || command->command == nullptr) return 0;
    // Nothing may unwind into the host's C caller.
    try {
        Get().Dispatch(*command);
    } catch (const std::exception& e) {
        LOG(ERROR) << "title bar failed on " << command->command << ": " << e.what();
    } catch (...) {
        LOG(ERROR) << "title bar failed on " << command->command;
    }
    return 0;
}

void TitlebarModule::Dispatch(ModuleCommand& command) {
    const char* name = command.command;
    const bool create = strcmp(name, LIBTITLEBAR_COMMAND_CREATE_WINDOW) == 0;
    const bool resize = strcmp(name, LIBWINDOW_COMMAND_SIZE_CHANGE) == 0;
    const bool state = strcmp(name, LIBPLATFORM_COMMAND_WINDOW_STATE_CHANGE) == 0;
    if (!create && !resize && !state) return;
    // All touch a widget; the host sends them on its main thread.
    if (!OnMainThread()) {
        LOG(ERROR) << name << " reached the title bar off the main thread; ignored";
        return;
    }
    if (create) {
        HandleCreate(command);
    } else if (resize) {
        HandleSizeChange(command);
    } else if (window_) {
        window_->WindowStateChanged(command.number == 1);
    }
}

TitlebarColours TitlebarModule::Colours() const {
    TitlebarColours colours;
    if (!store_) return colours;
    // The fallback is the colour of the built-in look.
    auto read = [this](const char* key, QColor& colour) {
        colour = QColor::fromRgb(store_->GetRGB(key, colour.rgb() & 0xFFFFFFu));
    };
    read("color:titlebar:background", colours.background);
    read("color:titlebar:title", colours.title);
    read("color:titlebar:line", colours.line);
    read("color:menu:background", colours.menu.background);
    read("color:menu:border", colours.menu.border);
    read("color:menu:item:selected", colours.menu.selected);
    read("color:menu:text", colours.menu.text);
    read("color:menu:separator", colours.menu.separator);
    return colours;
}

void TitlebarModule::HandleCreate(ModuleCommand& command) {
    if (created_) return;
    created_ = true;
    auto* parent = static_cast<QWidget*>(command.window);
    if (!titlebar::ParseCreateRect(command.text, &rect_) || parent == nullptr) {
        // The host always sends both for a manifest entry with a rectangle
        // and a parent: this is a broken manifest, not a user action.
        LOG(ERROR) << LIBTITLEBAR_COMMAND_CREATE_WINDOW << " without a parent or a usable \"rect\": "
                   << (command.text ? command.text : "(no text)");
        return;
    }
    const HostLink host = Host();
    const float scale = host.DpiScale();
    // The scale is known now: where it shows more than one device pixel per
    // layout pixel the buttons take their "@2x" pictures.
    const double deviceScale = Utils::DeviceScale(scale);
    if (deviceScale > 1.0) images_.LoadAll(folder_ + u"Resources/", deviceScale);
    auto* window = new TitlebarWindow(host, images_, Colours(), scale, parent);  // owned by the main view
    window->setGeometry(rect_);
    window->show();
    window_ = window;
    // The host enters the band in its window table under the manifest's name.
    command.window = window;
}

void TitlebarModule::HandleSizeChange(const ModuleCommand& command) {
    if (!window_ || command.window == nullptr || command.data == nullptr) return;
    int32_t size[2];
    memcpy(size, command.data, sizeof size);
    const int width = size[0] - rect_.left();
    window_->resize(width > 0 ? width : 0, rect_.height());
}
