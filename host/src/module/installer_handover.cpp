#include "installer_handover.h"

#include <glog/logging.h>

#include <QProcess>
#include <QStandardPaths>

namespace installer_handover {

std::optional<Command> InstallCommand(const QString& package) {
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (!pkexec.isEmpty()) {
        // apt-get resolves the package's dependencies; dpkg is the fallback.
        if (const QString apt = QStandardPaths::findExecutable(QStringLiteral("apt-get")); !apt.isEmpty()) {
            return Command{pkexec, {apt, QStringLiteral("install"), QStringLiteral("-y"), package}};
        }
        if (const QString dpkg = QStandardPaths::findExecutable(QStringLiteral("dpkg")); !dpkg.isEmpty()) {
            return Command{pkexec, {dpkg, QStringLiteral("-i"), package}};
        }
    }
    if (const QString open = QStandardPaths::findExecutable(QStringLiteral("xdg-open")); !open.isEmpty()) {
        return Command{open, {package}};
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

}  // namespace installer_handover
