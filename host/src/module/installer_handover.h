// Hands a downloaded package to the system: installed through the package
// tool with pkexec's elevation, or, where pkexec is missing, given to the
// desktop's package installer with xdg-open. Both are looked up on PATH.
#ifndef PIXBRIDGE_HOST_INSTALLER_HANDOVER_H
#define PIXBRIDGE_HOST_INSTALLER_HANDOVER_H

#include <QString>
#include <QStringList>

#include <optional>

namespace installer_handover {

struct Command {
    QString program;
    QStringList arguments;
    // True when the command installs (pkexec); false when it only hands the
    // file to the desktop, which installs it later.
    bool installs = false;
};

// What installs `package`; nothing when no way is found.
std::optional<Command> InstallCommand(const QString& package);
// Starts it without waiting and writes "ShellExecuteEx: " and the file to
// the log. False when it could not start.
bool StartDetached(const Command& command);
// Runs it and waits for it to end; its exit code, or -1 when it could not
// run. Plain fork and exec, no Qt: it may run on a pool thread while the
// program closes.
int RunAndWait(const Command& command);

}  // namespace installer_handover

#endif  // PIXBRIDGE_HOST_INSTALLER_HANDOVER_H
