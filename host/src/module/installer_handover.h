// Hands a downloaded package to the system: installed by the package's own
// root helper, started through pkexec under the package's polkit action;
// or, where there is no helper (a program run from its build tree) or no
// pkexec, given to the desktop's package installer with xdg-open. Every tool
// is named by its absolute path, never looked up on PATH, where a folder of
// the user's (and so of anyone who can write there) may come first.
#ifndef PIXBRIDGE_HOST_INSTALLER_HANDOVER_H
#define PIXBRIDGE_HOST_INSTALLER_HANDOVER_H

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace installer_handover {

struct Tools {
    std::string pkexec;
    std::string installHelper;  // empty: the program does not run from its package
    std::string xdgOpen;
};

// This build's tools. Defined in installer_tools.cpp, which each program
// that links the host compiles for itself: the shipped program with the
// fixed system paths, test programs with stand-ins (see that file). A
// program that names none does not link.
Tools SystemTools();

struct Command {
    QString program;
    QStringList arguments;
    // True when the command installs (the helper); false when it only hands
    // the file to the desktop, which installs it later.
    bool installs = false;
};

// What installs `package`, whose SHA-256 the feed gave as `sha256`; nothing
// when there is no way. The helper checks its own copy against `sha256`.
std::optional<Command> InstallCommand(const QString& package, const QString& sha256, const Tools& tools);
// Starts it without waiting and writes "ShellExecuteEx: " and the file to
// the log. False when it could not start.
bool StartDetached(const Command& command);
// Runs it and waits for it to end; its exit code, or -1 when it could not
// run. Plain fork and exec, no Qt: it may run on a pool thread while the
// program closes.
int RunAndWait(const Command& command);

}  // namespace installer_handover

#endif  // PIXBRIDGE_HOST_INSTALLER_HANDOVER_H
