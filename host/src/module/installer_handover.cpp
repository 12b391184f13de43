#include "installer_handover.h"

#include <glog/logging.h>

#include <QProcess>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace installer_handover {
namespace {

bool Runnable(const std::string& path) { return !path.empty() && path.front() == '/' && access(path.c_str(), X_OK) == 0; }

}  // namespace

std::optional<Command> InstallCommand(const QString& package, const QString& sha256, const Tools& tools) {
    // The helper copies the package where only root can write, checks the
    // copy against the feed's SHA-256 and the package name, and installs it
    // with apt-get (dpkg without it); pkexec asks for the administrator's
    // password under the package's own polkit action.
    if (Runnable(tools.pkexec) && Runnable(tools.installHelper)) {
        return Command{QString::fromStdString(tools.pkexec), {QString::fromStdString(tools.installHelper), package, sha256},
                       true};
    }
    if (Runnable(tools.xdgOpen)) return Command{QString::fromStdString(tools.xdgOpen), {package}, false};
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
