// How the workbench's code reaches the command bus: the host's post function
// and the module's own instance, which signs every record it sends.
#ifndef WORKBENCH_MODULE_BUS_H
#define WORKBENCH_MODULE_BUS_H

#include <pixbridge/module_contract.h>

struct ModuleBus {
    ModulePostFn post = nullptr;
    void* instance = nullptr;

    bool IsOpen() const { return post != nullptr && instance != nullptr; }
    // Sets `sender` to the instance and posts the record; false (nothing
    // posted) while the module is not registered.
    bool Post(ModuleCommand& command) const;
};

// A zero-filled record carrying `name`, as every sender starts one.
ModuleCommand MakeCommand(const char* name);

#endif  // WORKBENCH_MODULE_BUS_H
