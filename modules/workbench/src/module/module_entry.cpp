// The workbench module's one exported entry.
#include "module/workbench_module.h"

#include <pixbridge/module_contract.h>

extern "C" __attribute__((visibility("default"))) void RegisterModule(ModuleContext* context) {
    WorkbenchModule::Get().Register(context);
}
