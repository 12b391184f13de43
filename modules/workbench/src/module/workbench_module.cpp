#include "module/workbench_module.h"

#include "module/module_catalog.h"
#include <canvas/pictures.h>
#include <canvas/utils.h>
#include "module/reply_router.h"

#include <bedrock/bas_user_defaults.h>
#include <pixbridge/command_names.h>

#include <glog/logging.h>

#include <cstring>
#include <exception>

WorkbenchModule& WorkbenchModule::Get() {
    // Never destroyed: the module is never unloaded, and pool threads may
    // still deliver replies while the process exits.
    static WorkbenchModule* module = new WorkbenchModule();
    return *module;
}

void WorkbenchModule::Register(ModuleContext* context) {
    if (context == nullptr) return;
    context_ = context;
    context->receive = &WorkbenchModule::Receive;
    window_.SetBus(Bus());

    // Resources and catalogues lie beside the library, wherever it was loaded from.
    folder_ = Utils::GetDllModuleDir(reinterpret_cast<void*>(&WorkbenchModule::Receive));
    const char* storeName = "converter";
    if (!BASUserDefaults::InitUserDefaults(storeName, folder_ + u"Resources/Converter.json")) {
        LOG(WARNING) << "workbench colours unavailable: Resources/Converter.json is missing or malformed";
    }
    store_ = BASUserDefaults::GetUserDefaults(storeName);
    LoadConverterCatalog(folder_);
    images_.LoadAll(folder_ + u"Resources/");
}

void WorkbenchModule::PreparePictures(float layoutScale) {
    const double deviceScale = Utils::DeviceScale(layoutScale);
    if (deviceScale > 1.0) images_.LoadAll(folder_ + u"Resources/", deviceScale);
}

ModuleBus WorkbenchModule::Bus() const { return BusOf(context_); }

int32_t WorkbenchModule::Receive(ModuleCommand* command) {
    if (command == nullptr || command->command == nullptr) return 0;
    // Nothing may unwind into the host's C caller.
    try {
        Get().Dispatch(*command);
    } catch (const std::exception& e) {
        LOG(ERROR) << "workbench failed on " << command->command << ": " << e.what();
    } catch (...) {
        LOG(ERROR) << "workbench failed on " << command->command;
    }
    return 0;
}

void WorkbenchModule::Dispatch(const ModuleCommand& command) {
    const char* name = command.command;
    if (strcmp(name, LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL) == 0 ||
        strcmp(name, LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE) == 0) {
        if (command.target != nullptr && command.target == Instance()) DeliverPhotoReply(command);
    } else if (strcmp(name, LIBCONVERTER_COMMAND_CREATE_WINDOW) == 0) {
        window_.HandleCreate(command);
    } else if (strcmp(name, LIBWINDOW_COMMAND_SIZE_CHANGE) == 0) {
        window_.HandleSizeChange(command);
    } else if (strcmp(name, LIBPLATFORM_COMMAND_CLOSE_ENSURE) == 0) {
        // The program closes: a conversion stops after the file in hand, so
        // nothing half-written stays and the exit is prompt.
        if (ConverterWindowDelegate* delegate = window_.Delegate()) delegate->StopWork();
    } else if (strcmp(name, LIBCONVERTER_COMMAND_OPEN_FILES) == 0) {
        window_.HandleOpenFiles(command);
    }
}
