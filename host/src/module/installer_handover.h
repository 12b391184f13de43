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
};

// What installs `package`; nothing when no way is found.
std::optional<Command> InstallCommand(const QString& package);
// Starts it without waiting and writes "ShellExecuteEx: " and the file to
// the log. False when it could not start.
bool StartDetached(const Command& command);

}  // namespace installer_handover

#endif  // PIXBRIDGE_HOST_INSTALLER_HANDOVER_H
