#include "ui_link_alert_dialog.h"

#include "dialog_resources.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <canvas/pictures.h>
#include <canvas/utils.h>

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QUrl>

#include <glog/logging.h>

#include <algorithm>
#include <climits>

UiLinkAlertDialog::UiLinkAlertDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed,
                                     const QImage* image, bool showSecondButton, bool centred,
                                     const std::u16string& okText, const std::u16string& secondText)
    : UiDialog(dpiScale, closeNormal, closePressed),
      image_(image),
      showSecondButton_(showSecondButton),
      centred_(centred),
      okText_(okText),
      secondText_(secondText) {
    AnnounceWhenShown(QAccessible::AlertMessage);
}

UiLinkAlertDialog::~UiLinkAlertDialog() = default;

void UiLinkAlertDialog::SetMessage(QWidget* parent, int width, int height, const std::u16string& message,
                                   const std::u16string& okText) {
    message_ = message;
    okText_ = okText;
    Create(parent, width, height);
}

bool UiLinkAlertDialog::IsOpenableUrl(const std::u16string& url) {
    const QUrl parsed(QString::fromStdU16String(url).trimmed(), QUrl::StrictMode);
    if (!parsed.isValid()) return false;
    const QString scheme = parsed.scheme().toLower();
    if (scheme == QLatin1String("mailto")) return !parsed.path().isEmpty();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !parsed.host().isEmpty();
}

void UiLinkAlertDialog::InitDialog() {
    UiDialog::InitDialog();
    const ButtonStyle style{"font:gdiplus:17:bold", 10, 6};
    StyleButton(okButton_, kConfirmId, QString::fromStdU16String(okText_), style);
    StyleButton(secondButton_, kSecondId, QString::fromStdU16String(secondText_), style);
    okButton_.setDefault(true);

    const std::u16string visible = Utils::PickLinkShowContent(message_);
    if (!visible.empty()) {
        linkControl_ = std::make_unique<QLabel>(this);
        linkControl_->setObjectName(QStringLiteral("link"));
        linkControl_->setTextFormat(Qt::RichText);
        linkControl_->setText(Utils::LinkMarkupToHtml(message_));
        linkControl_->setWordWrap(true);
        linkControl_->setFont(dialog_resources::Font("font:16:normal"));
        linkControl_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        linkControl_->setOpenExternalLinks(false);
        linkControl_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QObject::connect(linkControl_.get(), &QLabel::linkActivated, this,
                         [this](const QString& url) { OnLinkClicked(url.toStdU16String()); });
        linkControl_->show();
        message_ = visible;  // measured as it shows
    }
    secondButton_.setVisible(showSecondButton_);
    setAccessibleDescription(QString::fromStdU16String(message_));
    Layout();
    if (centred_) CentreOver(ParentWindow());
}

void UiLinkAlertDialog::Layout() {
    const int m10 = Scaled(10);
    const int imageLeft = Scaled(20);
    const int contentTop = Scaled(40);
    const bool hasImage = image_ && !image_->isNull();
    const int textLeft = hasImage ? imageLeft + Scaled(Utils::PictureSize(image_).width()) + Scaled(20) : imageLeft;
    int messageTop = contentTop;
    if (!subTitle_.empty()) {
        const QFontMetrics bold(dialog_resources::Font("font:17:bold"));
        const QSize extent = bold.size(Qt::TextSingleLine, QString::fromStdU16String(subTitle_));
        subTitleRect_ = QRect(QPoint(textLeft, contentTop), extent);
        messageTop = contentTop + extent.height() + 16;
    }
    const int messageWidth = std::max(1, DialogWidth() - Scaled(20) - textLeft);
    const QFontMetrics metrics(dialog_resources::Font("font:16:normal"));
    const int messageHeight = metrics.boundingRect(QRect(0, 0, messageWidth, kUnboundedHeight), Qt::TextWordWrap,
                                                   QString::fromStdU16String(message_)).height();
    messageRect_ = QRect(textLeft, messageTop, messageWidth, messageHeight);
    if (linkControl_) linkControl_->setGeometry(messageRect_);

    const int height = DialogHeight();
    secondButton_.move(DialogWidth() - m10 - secondButton_.width(), height - m10 - secondButton_.height());
    const int okRight = showSecondButton_ ? secondButton_.x() - m10 : DialogWidth() - m10;
    okButton_.move(okRight - okButton_.width(), height - m10 - okButton_.height());
}

void UiLinkAlertDialog::DrawContent(QPainter& painter, const QRect&) {
    if (image_ && !image_->isNull()) {
        const QSize picture = Utils::PictureSize(image_);
        Utils::DrawImage(painter, image_, QRect(Scaled(20), Scaled(40), Scaled(picture.width()), Scaled(picture.height())));
    }
    if (!linkControl_ && !message_.empty()) {
        Utils::DrawTextInRect(painter, QString::fromStdU16String(message_), &dialog_resources::Font("font:16:normal"),
                              Qt::black, messageRect_, Qt::AlignLeft | Qt::AlignTop, true);
    }
    if (!subTitle_.empty()) {
        Utils::DrawTextInRect(painter, QString::fromStdU16String(subTitle_), &dialog_resources::Font("font:17:bold"),
                              Qt::black, subTitleRect_, Qt::AlignLeft | Qt::AlignVCenter, false);
    }
}

void UiLinkAlertDialog::OnLinkClicked(const std::u16string& url) {
    if (linkHandler_) {
        if (linkHandler_(url)) {
            confirmed_ = true;
            EndDialog(kConfirmId);
        }
        return;
    }
    // A message may come from a module or a download feed: only web and mail
    // links reach the browser, never a local file or a program's scheme.
    if (!IsOpenableUrl(url)) {
        LOG(ERROR) << "link refused (not http, https or mailto): " << BASUtilityString::Utf16ToUtf8(url);
        return;
    }
    BASUtilityApp::OpenUrl(BASUtilityString::Utf16ToUtf8(url).c_str());
}

void UiLinkAlertDialog::OnCommand(int id) {
    if (id == kConfirmId) {
        confirmed_ = true;
        EndDialog(kConfirmId);
    } else if (id == kSecondId) {
        confirmed_ = false;
        EndDialog(kSecondId);
    } else if (id == kCloseId) {
        confirmed_ = false;
        UiDialog::OnCommand(kCloseId);
    }
}
