#include "ui_setting_dialog.h"

#include "dialog_resources.h"

#include <canvas/utils.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QPainter>

const UiSettingDialog::Language UiSettingDialog::kLanguages[9] = {
    {u"English", 3},   {u"Français", 4},  {u"Deutsch", 2},  {u"Italiano", 5}, {u"Español", 6},
    {u"Português", 7}, {u"简体中文", 0}, {u"繁體中文", 1}, {u"日本語", 8},
};

UiSettingDialog::UiSettingDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed, bool centred,
                                 const std::u16string& okText, const std::u16string& cancelText)
    : UiDialog(dpiScale, closeNormal, closePressed), centred_(centred), okText_(okText), cancelText_(cancelText) {
    SetTitle(dialog_resources::Tr16(u"settings"));
}

UiSettingDialog::~UiSettingDialog() = default;

void UiSettingDialog::InitDialog() {
    UiDialog::InitDialog();
    // The list comes first in the tab order: it is what the dialog is for.
    list_ = std::make_unique<QComboBox>(this);
    list_->setObjectName(QStringLiteral("language-list"));
    list_->setFont(dialog_resources::Font("font:16:normal"));
    list_->setAccessibleName(dialog_resources::Tr(u"language"));
    int selected = -1;
    for (int i = 0; i < 9; ++i) {
        list_->addItem(QString::fromStdU16String(kLanguages[i].name), kLanguages[i].id);
        if (kLanguages[i].id == languageId_) selected = i;
    }
    list_->setCurrentIndex(selected);
    list_->show();
    const ButtonStyle style{"font:gdiplus:16:bold", 20, 6, 4};
    StyleButton(okButton_, kConfirmId, QString::fromStdU16String(okText_), style);
    StyleButton(cancelButton_, kSecondId, QString::fromStdU16String(cancelText_), style);
    okButton_.setDefault(true);
    Layout();
    list_->setFocus();
    if (centred_) CentreOver(ParentWindow());
}

void UiSettingDialog::Layout() {
    const int m10 = Scaled(10);
    const int w = DialogWidth();
    const int h = DialogHeight();
    cancelButton_.move(w - m10 - cancelButton_.width(), h - m10 - cancelButton_.height());
    okButton_.move(cancelButton_.x() - m10 - okButton_.width(), cancelButton_.y());

    const QFontMetrics bold(dialog_resources::Font("font:gdiplus:16:bold"));
    const QSize caption = bold.size(Qt::TextSingleLine, dialog_resources::Tr(u"general"));
    tabRect_ = QRect(QPoint(Scaled(30), TitleHeight() + Scaled(16)), caption).adjusted(-Scaled(6), -Scaled(6), Scaled(6), Scaled(6));
    panelRect_ = QRect(QPoint(tabRect_.left(), tabRect_.bottom()),
                       QPoint(tabRect_.left() + w - 2 * Scaled(20) - 1, cancelButton_.y() - Scaled(30)));
    boxRect_ = panelRect_.adjusted(Scaled(16), Scaled(24), -Scaled(16), -Scaled(24));
    const QFontMetrics normal(dialog_resources::Font("font:gdiplus:16:normal"));
    const QSize label = normal.size(Qt::TextSingleLine, dialog_resources::Tr(u"language"));
    labelRect_ = QRect(QPoint(boxRect_.left() + Scaled(10), boxRect_.top() - label.height() / 2), label)
                     .adjusted(-Scaled(4), 0, Scaled(4), 0);
    const int listHeight = std::max(Scaled(22), list_->sizeHint().height());
    list_->setGeometry(boxRect_.left() + Scaled(24), boxRect_.top() + (boxRect_.height() - listHeight) / 2, Scaled(158),
                       listHeight);
}

void UiSettingDialog::DrawContent(QPainter& painter, const QRect&) {
    const QColor background = dialog_resources::StoreColor("color:setting:general:background", Qt::white);
    const QColor border = dialog_resources::StoreColor("color:setting:general:border", QColor(0xD9, 0xDE, 0xE6));
    painter.setPen(border);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(panelRect_);
    painter.fillRect(tabRect_, background);
    painter.drawRect(tabRect_);
    Utils::DrawTextCenter(painter, dialog_resources::Tr(u"general"), &dialog_resources::Font("font:gdiplus:16:bold"),
                          QColor(0x33, 0x33, 0x33), tabRect_);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QColor(128, 128, 128));
    painter.drawRoundedRect(QRectF(boxRect_).adjusted(0.5, 0.5, -0.5, -0.5), Scaled(4), Scaled(4));
    // The label sits on the box's top edge, on a white gap of its own.
    painter.fillRect(labelRect_, Qt::white);
    Utils::DrawTextCenter(painter, dialog_resources::Tr(u"language"), &dialog_resources::Font("font:gdiplus:16:normal"),
                          QColor(0x33, 0x33, 0x33), labelRect_);
}

void UiSettingDialog::OnCommand(int id) {
    if (id == kConfirmId) {
        confirmed_ = true;
        chosenLanguage_ = std::make_unique<int32_t>(3);
        const int index = list_ ? list_->currentIndex() : -1;
        if (index >= 0 && index < 9) languageId_ = kLanguages[index].id;
        else languageId_ = 3;
        *chosenLanguage_ = languageId_;
        EndDialog(kConfirmId);
    } else if (id == kSecondId || id == kCloseId) {
        confirmed_ = false;
        dismissed_ = id == kCloseId;
        EndDialog(kSecondId);
    }
}
