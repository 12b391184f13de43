#include "installer_handover.h"

#include <glog/logging.h>

#include <QProcess>

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;
#include <QStandardPaths>

namespace installer_handover {

std::optional<Command> InstallCommand(const QString& package) {
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (!pkexec.isEmpty()) {
        // apt-get resolves the package's dependencies; dpkg is the fallback.
        if (const QString apt = QStandardPaths::findExecutable(QStringLiteral("apt-get")); !apt.isEmpty()) {
            return Command{pkexec, {apt, QStringLiteral("install"), QStringLiteral("-y"), package}, true};
        }
        if (const QString dpkg = QStandardPaths::findExecutable(QStringLiteral("dpkg")); !dpkg.isEmpty()) {
            return Command{pkexec, {dpkg, QStringLiteral("-i"), package}, true};
        }
    }
    if (const QString open = QStandardPaths::findExecutable(QStringLiteral("xdg-open")); !open.isEmpty()) {
        return Command{open, {package}, false};
    }
    return std::nullopt;
}

bool StartDetached(const Command& command) {
    LOG(INFO) << "ShellExecuteEx: " << command.program.toStdString() << " "
              << command.arguments.join(QLatin1Char(' ')).toStdString();
    const bool started = QProcess::startDetached(command.program, command.arguments);
    if (!started) LOG(ERROR) << "could not start " << command.program.toStdString();
    return started;
}

int RunAndWait(const Command& command) {
    LOG(INFO) << "ShellExecuteEx: " << command.program.toStdString() << " "
              << command.arguments.join(QLatin1Char(' ')).toStdString();
    std::vector<std::string> texts{command.program.toStdString()};
    for (const QString& argument : command.arguments) texts.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace installer_handover
