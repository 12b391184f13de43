// The file and folder dialogs behind PhotoChooser: Qt's own dialogs, several
// files at once with the HEIC filter (any case) starting in the folder the
// user last chose photos from, and a folder browser with no folder preselected.
#ifndef WORKBENCH_QT_PHOTO_CHOOSER_H
#define WORKBENCH_QT_PHOTO_CHOOSER_H

#include "photo/photo_list_interfaces.h"

#include <QString>

class QWidget;

class QtPhotoChooser : public PhotoChooser {
public:
    explicit QtPhotoChooser(QWidget* owner) : owner_(owner) {}

    bool ChooseFiles(const std::u16string& filterDescription, const std::u16string& pattern,
                     std::vector<std::u16string>& paths) override;
    bool ChooseFolder(const std::u16string& title, std::u16string& folder) override;

    // "*.heic" becomes "*.heic *.HEIC *.Heic ...": the dialogs match case
    // exactly on Linux, phones write ".HEIC".
    static QString CaseFreePattern(const QString& pattern);
    const QString& LastFolder() const { return lastFolder_; }

private:
    QWidget* owner_ = nullptr;
    QString lastFolder_;
};

#endif  // WORKBENCH_QT_PHOTO_CHOOSER_H
