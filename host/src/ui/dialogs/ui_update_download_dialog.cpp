#include "ui_update_download_dialog.h"

#include "dialog_resources.h"

#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>
#include <canvas/utils.h>

#include <QPainter>

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
    CloseOkButton().setEnabled(true);
    LayoutProgress();
}

void UiUpdateDownloadDialog::InitDialog() {
    UiProgressDialog::InitDialog();
    // A download has no failed items to unfold.
    DetailsButton().hide();
}

void UiUpdateDownloadDialog::DrawContent(QPainter& painter, const QRect& body) {
    if (ended_) {
        // The outcome is a sentence or two: it gets the bar's room and wraps.
        const QFont& font = dialog_resources::Font("font:16:normal");
        const QRect text(QPoint(Scaled(20), TitleHeight() + Scaled(12)),
                         QPoint(DialogWidth() - Scaled(20), CloseOkButton().y() - Scaled(4)));
        painter.setFont(font);
        painter.setPen(QColor(0x33, 0x33, 0x33));
        painter.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QString::fromStdU16String(ShownDescription()));
        return;
    }
    UiProgressDialog::DrawContent(painter, body);
    // Under the bar, left of the button: the description above keeps the
    // whole width of the dialog.
    const QString sizes = SizeText();
    if (sizes.isEmpty()) return;
    const QFont& font = dialog_resources::Font("font:16:normal");
    const QRect bar = BarRect();
    Utils::DrawTextInRect(painter, sizes, &font, QColor(0x66, 0x66, 0x66),
                          QRect(bar.left(), bar.bottom() + Scaled(8), CloseOkButton().x() - bar.left() - Scaled(10),
                                CloseOkButton().height()),
                          Qt::AlignLeft | Qt::AlignVCenter, false);
}

QString UiUpdateDownloadDialog::SizeText() const {
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
