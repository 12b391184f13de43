// How the title bar reaches the host: each request a zero-filled record on
// the bus, signed with the module's instance. The answers are read back from
// the record; nothing else crosses over.
#ifndef TITLEBAR_HOST_LINK_H
#define TITLEBAR_HOST_LINK_H

#include <module_kit/module_bus.h>
#include <pixbridge/module_contract.h>

#include <string>

class QFont;
class QImage;

class HostLink {
public:
    HostLink() = default;
    HostLink(ModulePostFn post, void* instance) : bus_{post, instance} {}

    bool IsOpen() const { return bus_.IsOpen(); }
    void* Instance() const { return bus_.instance; }
    // Signs and posts; false (nothing posted) while the module is not registered.
    bool Post(ModuleCommand& command) const { return bus_.Post(command); }

    // The display scale; 1.0 when the host gives none or one that is no
    // positive number.
    float DpiScale() const;
    // Host-owned, valid for the run; null when the host has none.
    const QFont* Font(const char* key) const;
    const QImage* Image(const char* name) const;
    // The product's display name; empty when the host gives none.
    std::u16string ProductName() const;
    // The URL of an option key ("url:help"); empty when there is none.
    std::string Url(const char* key) const;

    // Maximise or restore: 1 maximised, 0 restored, -1 no answer.
    int PressMaxOrReset() const;
    void PressMinimize() const;
    // The close protocol: true when the window is closing.
    bool PressClose() const;
    void OpenSettings() const;
    void OpenAbout() const;
    // The check that the user asked for (`number` 1).
    void CheckForUpdate() const;

private:
    void PostPlain(const char* name) const;

    ModuleBus bus_;
};

#endif  // TITLEBAR_HOST_LINK_H
