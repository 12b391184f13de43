#include "presenter/qt_photo_chooser.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

#include <set>

QString QtPhotoChooser::CaseFreePattern(const QString& pattern) {
    // Every upper/lower mix of the extension would be 16 patterns; the
    // spellings cameras and tools really write are enough, and a bracket
    // pattern covers the rest where the dialog supports it.
    const QString lower = pattern.toLower();
    std::set<QString> spellings{lower, pattern.toUpper(), pattern};
    const int dot = lower.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        QString bracket = lower.left(dot + 1);
        for (const QChar c : lower.mid(dot + 1)) {
            bracket += c.isLetter() ? QStringLiteral("[%1%2]").arg(c, c.toUpper()) : QString(c);
        }
        spellings.insert(bracket);
        QString title = lower;
        if (dot + 1 < title.size()) title[dot + 1] = title[dot + 1].toUpper();
        spellings.insert(title);
    }
    QStringList out;
    for (const QString& s : spellings) out << s;
    return out.join(QLatin1Char(' '));
}

bool QtPhotoChooser::ChooseFiles(const std::u16string& filterDescription, const std::u16string& pattern,
                                 std::vector<std::u16string>& paths) {
    const QString start = lastFolder_.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) : lastFolder_;
    const QString filter = QStringLiteral("%1 (%2)").arg(QString::fromStdU16String(filterDescription),
                                                         CaseFreePattern(QString::fromStdU16String(pattern)));
    const QStringList chosen = QFileDialog::getOpenFileNames(owner_ ? owner_->window() : nullptr,
                                                             QString::fromStdU16String(filterDescription), start, filter);
    if (chosen.isEmpty()) return false;
    lastFolder_ = QFileInfo(chosen.front()).absolutePath();
    for (const QString& path : chosen) paths.push_back(path.toStdU16String());
    return true;
}

bool QtPhotoChooser::ChooseFolder(const std::u16string& title, std::u16string& folder) {
    // No folder of ours is offered: the browser opens where the dialogs
    // last were (at first the working folder) and the user picks one.
    const QString chosen = QFileDialog::getExistingDirectory(owner_ ? owner_->window() : nullptr,
                                                             QString::fromStdU16String(title), QString(),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir()) return false;
    folder = chosen.toStdU16String();
    return true;
}
