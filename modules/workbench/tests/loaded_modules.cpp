#include "loaded_modules.h"

#include "plugin_util.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_pool.h>
#include <lingua/wx_locale.h>

#include <chrono>
#include <thread>

const LoadedModules& Modules() {
    static const LoadedModules modules = [] {
        VoTaskPool::Get()->Activate(5);
        // As the host does before loading modules: a current language, here
        // German, whose catalogue the module adds to its domain.
        if (wxGetLocale() == nullptr) CreateLocale(kGermanLanguageId);
        LoadedModules m;
        if (const auto* r = plugin_util::LoadModule(BASUtilityString::Utf8ToUtf16(WORKBENCH_PLUGIN_ROOT))) {
            m.workbench = r->instance;
        }
        if (const auto* r = plugin_util::LoadModule(BASUtilityString::Utf8ToUtf16(FAKE_PHOTO_ROOT))) {
            m.fakePhoto = r->instance;
        }
        return m;
    }();
    return modules;
}

ModuleBus WorkbenchBus() {
    ModuleBus bus;
    bus.post = &plugin_util::PostCommand;
    bus.instance = Modules().workbench;
    return bus;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
