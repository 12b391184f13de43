// How a plug-in's code reaches the command bus: the host's post function and
// the module's own instance, which signs every record it sends.
#ifndef MODULE_KIT_MODULE_BUS_H
#define MODULE_KIT_MODULE_BUS_H

#include <pixbridge/module_contract.h>

struct ModuleBus {
    ModulePostFn post = nullptr;
    void* instance = nullptr;

    bool IsOpen() const { return post != nullptr && instance != nullptr; }
    // Sets `sender` to the instance and posts the record; false (nothing
    // posted) while the module is not registered.
    bool Post(ModuleCommand& command) const;
};

// The bus of a registration block; closed for none.
ModuleBus BusOf(const ModuleContext* context);

// A zero-filled record carrying `name`, as every sender starts one.
ModuleCommand MakeCommand(const char* name);

#endif  // MODULE_KIT_MODULE_BUS_H
