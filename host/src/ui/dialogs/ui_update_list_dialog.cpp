#include "ui_update_list_dialog.h"

#include "dialog_resources.h"
#include "ui_link_alert_dialog.h"

#include <bedrock/bas_utility_app.h>
#include <canvas/utils.h>

#include <glog/logging.h>

#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>

UiUpdateListDialog::UiUpdateListDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed,
                                       std::string historyUrl)
    : UiDialog(dpiScale, closeNormal, closePressed), historyUrl_(std::move(historyUrl)) {
    setObjectName(QStringLiteral("UpdateList"));
}

UiUpdateListDialog::~UiUpdateListDialog() = default;

void UiUpdateListDialog::InitDialog() {
    UiDialog::InitDialog();
    notes_.Create(this, QRect(), notesText_, VoEdit::kMultiLine | VoEdit::kReadOnly, kNotesId);
    notes_.SetFont(&dialog_resources::Font("font:16:normal"));
    // The notes get a scroll bar only when they are longer than the box.
    if (QPlainTextEdit* edit = notes_.TextEdit()) {
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        edit->setFrameShape(QFrame::NoFrame);
    }

    const ButtonStyle style{"font:gdiplus:16:bold", 20, 8, 4};
    StyleButton(laterButton_, kLaterId, dialog_resources::Tr(u"remind-me-later"), style);
    StyleButton(updateNowButton_, kUpdateNowId, dialog_resources::Tr(u"update-now"), style);
    // "Update now" is the way forward: filled in the buttons' colour.
    const QColor normal = dialog_resources::StoreColor("color:common:button:normal", QColor(0x2F, 0x6F, 0xEB));
    const QColor pressed = dialog_resources::StoreColor("color:common:button:pressed", QColor(0x24, 0x59, 0xC4));
    updateNowButton_.Init(dialog_resources::Tr(u"update-now"), Qt::white, normal, Qt::white, pressed);
    updateNowButton_.SetColorBorder(normal);
    updateNowButton_.setDefault(true);

    link_ = std::make_unique<QLabel>(this);
    link_->setObjectName(QStringLiteral("history-link"));
    link_->setTextFormat(Qt::RichText);
    link_->setFont(dialog_resources::Font("font:16:normal"));
    link_->setText(Utils::LinkMarkupToHtml(u"<A HREF=\"" + std::u16string(u"history") + u"\">" +
                                           dialog_resources::Tr16(u"read-more-versions") + u"</A>"));
    link_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    QObject::connect(link_.get(), &QLabel::linkActivated, this, [this](const QString&) { OnCommand(kHistoryLinkId); });
    link_->setVisible(!historyUrl_.empty());
    Layout();
}

QRect UiUpdateListDialog::NotesFrame() const {
    const int top = TitleHeight() + Scaled(56);
    return QRect(QPoint(Scaled(40), top), QPoint(DialogWidth() - Scaled(40) - 1, DialogHeight() - Scaled(130)));
}

void UiUpdateListDialog::Layout() {
    const int w = DialogWidth();
    const int h = DialogHeight();
    notes_.setGeometry(NotesFrame().adjusted(1, 1, -1, -1));
    if (link_) {
        const QSize size = link_->sizeHint();
        link_->setGeometry(Scaled(40), h - Scaled(120), size.width(), size.height());
    }
    const int m20 = Scaled(20);
    updateNowButton_.move(w - m20 - updateNowButton_.width(), h - m20 - updateNowButton_.height());
    laterButton_.move(updateNowButton_.x() - m20 - laterButton_.width(), updateNowButton_.y());
}

void UiUpdateListDialog::DrawContent(QPainter& painter, const QRect& body) {
    const QFont& heading = dialog_resources::Font("font:gdiplus:17:bold");
    Utils::DrawTextInRect(painter, dialog_resources::Tr(u"new-version-found-tip"), &heading, QColor(0x33, 0x33, 0x33),
                          QRect(Scaled(40), TitleHeight() + Scaled(16), DialogWidth() - Scaled(80), Scaled(30)),
                          Qt::AlignLeft | Qt::AlignVCenter, false);
    painter.setPen(QPen(QColor(221, 221, 221), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(NotesFrame().adjusted(0, 0, -1, -1));
    // The line that sets the buttons apart from the notes.
    const int lineY = updateNowButton_.y() - Scaled(14);
    painter.setPen(QPen(dialog_resources::StoreColor("color:title:category:select:background", QColor(0xE6, 0xEE, 0xFD)),
                        2));
    painter.drawLine(1, lineY, DialogWidth() - 2, lineY);
}

void UiUpdateListDialog::Open() {
    EnsureInitialised();
    Reset();
    if (QPlainTextEdit* edit = notes_.TextEdit()) edit->moveCursor(QTextCursor::Start);
    CentreOver(ParentWindow());
    Show(true);
    raise();
    activateWindow();
    updateNowButton_.setFocus();
}

void UiUpdateListDialog::ClearNotes() {
    EnsureInitialised();
    notesText_.clear();
    notes_.SetText(QString());
}

void UiUpdateListDialog::AppendNotes(const std::u16string& text) {
    EnsureInitialised();
    notesText_ += QString::fromStdU16String(text);
    notes_.SetText(notesText_);
    if (QPlainTextEdit* edit = notes_.TextEdit()) edit->moveCursor(QTextCursor::Start);
}

void UiUpdateListDialog::OnCommand(int id) {
    switch (id) {
    case kHistoryLinkId:
        if (!UiLinkAlertDialog::IsOpenableUrl(QString::fromStdString(historyUrl_).toStdU16String()) ||
            historyUrl_.rfind("mailto:", 0) == 0) {
            LOG(ERROR) << "version history link refused (not http or https): " << historyUrl_;
            return;
        }
        BASUtilityApp::OpenUrl(historyUrl_.c_str());
        break;
    case kLaterId:
    case kCloseId:
        // The update stays pending: the next check shows this again.
        EndDialog(id);
        break;
    case kUpdateNowId:
        EndDialog(id);
        if (updateNow_) updateNow_();
        break;
    default:
        UiDialog::OnCommand(id);
        break;
    }
}
