// The title-bar module's one exported entry.
#include "module/titlebar_module.h"

#include <pixbridge/module_contract.h>

extern "C" __attribute__((visibility("default"))) void RegisterModule(ModuleContext* context) {
    TitlebarModule::Get().Register(context);
}
