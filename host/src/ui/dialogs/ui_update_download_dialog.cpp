#include "ui_update_download_dialog.h"

#include "dialog_resources.h"

#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>

UiUpdateDownloadDialog::UiUpdateDownloadDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed)
    : UiProgressDialog(dpiScale, closeNormal, closePressed, *counters) {
    setObjectName(QStringLiteral("UpdateDownload"));
}

void UiUpdateDownloadDialog::Begin(const std::u16string& description, std::function<void()> cancel) {
    ended_ = false;
    installerPath_.clear();
    cancel_ = std::move(cancel);
    ProgressStart start;
    start.desc = BASUtilityString::Utf16ToUtf8(description);
    Start(start);
    CloseOkButton().setEnabled(true);
}

void UiUpdateDownloadDialog::EndWithInstaller(const std::u16string& path, const std::u16string& description) {
    installerPath_ = path;
    ended_ = true;
    cancel_ = nullptr;
    MarkFinished();
    StopTicking(description);
    CloseOkButton().setEnabled(false);
}

void UiUpdateDownloadDialog::EndWithFailure(const std::u16string& description) {
    ended_ = true;
    cancel_ = nullptr;
    MarkFinished();
    StopTicking(description);
    CloseOkButton().SetText(dialog_resources::Tr(u"ok"));
}

QString UiUpdateDownloadDialog::CounterText() const {
    if (ended_) return QString();
    auto size = [](int64_t bytes) { return QString::fromStdU16String(BASUtilityFile::ZLGetFormatSizeFromBytes(bytes)); };
    return QStringLiteral("(") + dialog_resources::Tr(u"update-download") + QLatin1Char(' ') + size(ShownPosition()) +
           QStringLiteral(", ") + dialog_resources::Tr(u"update-total") + QLatin1Char(' ') + size(ShownTotal()) +
           QLatin1Char(')');
}

void UiUpdateDownloadDialog::EndByUser() {
    // Cancel or close while the download runs asks it to stop at its next
    // progress report; afterwards the button only closes.
    if (!IsFinished() && cancel_) {
        std::function<void()> cancel = std::move(cancel_);
        cancel_ = nullptr;
        cancel();
    }
    UiProgressDialog::EndByUser();
}
