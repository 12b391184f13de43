// The workbench module's one exported entry.
#include "module/workbench_module.h"
#include "presenter/vo_converter_delegate.h"

#include <pixbridge/module_contract.h>

#include <QApplication>

#include <glog/logging.h>

extern "C" __attribute__((visibility("default"))) void RegisterModule(ModuleContext* context) {
    WorkbenchModule& module = WorkbenchModule::Get();
    module.Register(context);
    module.Window().SetDelegateFactory([&module]() -> std::unique_ptr<ConverterWindowDelegate> {
        // Windows need the window system; a host without one (a command-line
        // tool loading every module) gets none.
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            LOG(INFO) << "no window system: the workbench shows no window";
            return nullptr;
        }
        module.PreparePictures(module.Window().DpiScale());
        return std::make_unique<VoConverterDelegate>(module.Bus(), module.Store(), &module.Images(),
                                                     module.Window().DpiScale());
    });
}
