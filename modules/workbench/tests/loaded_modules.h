// The workbench module and the stand-in photo module, loaded once per test
// process through the real loader, with the scheduler's pool running.
#ifndef WORKBENCH_TESTS_LOADED_MODULES_H
#define WORKBENCH_TESTS_LOADED_MODULES_H

#include <module_kit/module_bus.h>

#include <functional>

struct LoadedModules {
    void* workbench = nullptr;
    void* fakePhoto = nullptr;
};

// The language the tests run the modules in (de_DE).
constexpr int kGermanLanguageId = 2;

// Loads both modules the first time; the instances are null if a load fails.
const LoadedModules& Modules();
// Posts as if from the workbench module (its replies come back to it).
ModuleBus WorkbenchBus();
// Polls `done` until it holds or `timeoutMs` passes; true if it held.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000);

#endif  // WORKBENCH_TESTS_LOADED_MODULES_H
