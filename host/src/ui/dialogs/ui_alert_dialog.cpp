#include "ui_alert_dialog.h"

#include "dialog_resources.h"

#include <canvas/pictures.h>
#include <canvas/utils.h>

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <climits>

UiAlertDialog::UiAlertDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed,
                             const QImage* image, bool showSecondButton, bool placeOverParent,
                             const std::u16string& okText, const std::u16string& secondText)
    : UiDialog(dpiScale, closeNormal, closePressed),
      image_(image),
      showSecondButton_(showSecondButton),
      placeOverParent_(placeOverParent),
      okText_(okText),
      secondText_(secondText),
      margin_(Scaled(20)) {
    // Read out as an alert: the window's name, then the message.
    AnnounceWhenShown(QAccessible::AlertMessage);
}

void UiAlertDialog::SetMessage(QWidget* parent, int width, int height, const std::u16string& message) {
    message_ = message;
    Create(parent, width, height);
}

void UiAlertDialog::InitDialog() {
    UiDialog::InitDialog();
    const ButtonStyle style{"font:gdiplus:17:normal", 30, 6, 6};
    StyleButton(okButton_, kConfirmId, QString::fromStdU16String(okText_), style);
    StyleButton(secondButton_, kSecondId, QString::fromStdU16String(secondText_), style);
    secondButton_.setVisible(showSecondButton_);
    // Enter confirms; Tab goes ok -> cancel.
    okButton_.setDefault(true);
    okButton_.setFocus();
    setAccessibleDescription(QString::fromStdU16String(message_));
    Layout();
    if (placeOverParent_) {
        QWidget* over = ParentWindow();
        if (!over) {
            CentreOver(nullptr);
        } else {
            const QRect area = over->window()->frameGeometry();
            move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 3);
        }
    } else {
        // Centred as every dialog is, for the height the message gave it.
        CentreOver(ParentWindow());
    }
}

void UiAlertDialog::Layout() {
    const int m10 = Scaled(10);
    const int m16 = Scaled(16);
    const bool hasImage = image_ && !image_->isNull();
    const QSize picture = Utils::PictureSize(image_);
    const int imageWidth = hasImage ? Scaled(picture.width()) : 0;
    const int imageHeight = hasImage ? Scaled(picture.height()) : 0;
    imageRect_ = hasImage ? QRect(margin_, m16, imageWidth, imageHeight) : QRect();

    const int width = DialogWidth();
    const int left = (hasImage ? margin_ + imageWidth : 0) + margin_;
    const int textWidth = std::max(1, width - left - margin_);
    const QFontMetrics metrics(dialog_resources::Font("font:gdiplus:16:normal"));
    const int textHeight = message_.empty()
                               ? 0
                               : metrics.boundingRect(QRect(0, 0, textWidth, kUnboundedHeight), Qt::TextWordWrap,
                                                      QString::fromStdU16String(message_)).height();
    textRect_ = QRect(left, 0, textWidth, textHeight);

    const int content = std::max(imageHeight, textHeight);
    const int height = TitleHeight() + content + 3 * m10 + secondButton_.height();
    secondButton_.move(width - m10 - secondButton_.width(), height - m10 - secondButton_.height());
    const int okRight = showSecondButton_ ? secondButton_.x() - m10 : width - m10;
    okButton_.move(okRight - okButton_.width(), height - m10 - okButton_.height());
    SetDialogSize(width, height);
}

void UiAlertDialog::DrawContent(QPainter& painter, const QRect& body) {
    const bool hasImage = image_ && !image_->isNull();
    const QSize picture = Utils::PictureSize(image_);
    const int imageWidth = hasImage ? Scaled(picture.width()) : 0;
    if (hasImage) {
        Utils::DrawImage(painter, image_, QRect(margin_, body.top() + margin_, imageWidth, Scaled(picture.height())));
    }
    if (message_.empty()) return;
    const int left = 2 * margin_ + imageWidth;
    // The band between the title bar and the buttons, lines centred in it.
    const QRect band(QPoint(left, body.top()), QPoint(body.right() - margin_, okButton_.y() - Scaled(10)));
    Utils::DrawTextInRect(painter, QString::fromStdU16String(message_), &dialog_resources::Font("font:gdiplus:16:normal"),
                          Qt::black, band, Qt::AlignLeft | Qt::AlignVCenter, true);
}

void UiAlertDialog::OnCommand(int id) {
    switch (id) {
    case kConfirmId:
        confirmed_ = true;
        EndDialog(kConfirmId);
        break;
    case kSecondId:
        confirmed_ = false;
        EndDialog(kSecondId);
        break;
    case kCloseId:
        confirmed_ = false;
        UiDialog::OnCommand(kCloseId);
        break;
    default:
        break;
    }
}
