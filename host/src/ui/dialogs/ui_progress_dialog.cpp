#include "ui_progress_dialog.h"

#include "dialog_resources.h"
#include "service/progress_counters.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <canvas/pictures.h>
#include <canvas/utils.h>

#include <QFontMetrics>
#include <QPainter>
#include <QTimer>
#include <QTimerEvent>

#include <cmath>

namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

}  // namespace

UiProgressDialog::UiProgressDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed,
                                   ProgressCounters& counters)
    : UiDialog(dpiScale, closeNormal, closePressed), counters_(counters) {}

void UiProgressDialog::InitDialog() {
    UiDialog::InitDialog();
    baseHeight_ = DialogHeight();
    const ButtonStyle style{"font:gdiplus:16:bold", 10, 8, 4};
    StyleButton(openFolderButton_, kOpenFolderId, dialog_resources::Tr(u"open-folder"), style);
    StyleButton(closeOkButton_, kCloseOkId, dialog_resources::Tr(u"cancel"), style);
    closeOkButton_.setDefault(true);

    detailsButton_.SetDpiScale(DpiScale());
    detailsButton_.CreateButton(this, kDetailsId, 1);
    detailsButton_.Init(dialog_resources::Image("dialog/slide-down-normal.png"), 0, 0,
                        dialog_resources::Image("dialog/slide-down-pressed.png"));
    detailsButton_.SetTooltip(dialog_resources::Tr(u"details"));

    log_.Create(this, QRect(0, baseHeight_, DialogWidth(), Scaled(160)), QString(),
                VoEdit::kMultiLine | VoEdit::kReadOnly | VoEdit::kBorder | VoEdit::kVerticalScroll, kLogId);
    log_.SetFont(&dialog_resources::Font("font:16:normal"));
    log_.hide();
    // Draws nothing and lets clicks through: the dialog paints the bar.
    bar_ = new VoAccessibleValue(this, QAccessible::ProgressBar);
    bar_->setObjectName(QStringLiteral("progress-bar"));
    bar_->setAttribute(Qt::WA_TransparentForMouseEvents);
    LayoutProgress();
}

void UiProgressDialog::LayoutProgress() {
    const int w = DialogWidth();
    const int h = baseHeight_;
    const int m20 = Scaled(20);
    const int m12 = Scaled(12);
    detailsButton_.MoveWindow((w - detailsButton_.width()) / 2, h - Scaled(2) - detailsButton_.height(),
                              detailsButton_.width(), detailsButton_.height());
    const int buttonBottom = detailsButton_.y() - Scaled(10);
    closeOkButton_.move(w - m20 - closeOkButton_.width(), buttonBottom - closeOkButton_.height());
    openFolderButton_.move(closeOkButton_.x() - m20 - openFolderButton_.width(), closeOkButton_.y());
    int textLeft = m20;
    if (logo_ && !logo_->isNull()) {
        const QSize picture = Utils::PictureSize(logo_);
        logoRect_ = QRect(m12, Scaled(44), Scaled(picture.width()), Scaled(picture.height()));
        textLeft = Scaled(picture.width()) + 2 * m12;
    } else {
        logoRect_ = QRect();
    }
    barRect_ = QRect(QPoint(textLeft, Scaled(70)), QPoint(w - m20 - 1, Scaled(70) + m12 - 1));
    textRect_ = QRect(QPoint(textLeft, 0), QPoint(w - m20 - 1, Scaled(70) - 1));
    if (bar_) bar_->setGeometry(barRect_);
    update();
}

void UiProgressDialog::Reset() {
    UiDialog::Reset();
    counters_.Begin();
    lastPosition_ = 0;
    lastTotal_ = 0;
    shownDescription_.clear();
    hasOutputFolder_ = false;
    outputFolder_.clear();
    if (detailsOpen_) ToggleDetails();
    log_.SetText(QString());
    closeOkButton_.SetText(dialog_resources::Tr(u"cancel"));
    LayoutProgress();
}

void UiProgressDialog::Start(const ProgressStart& start) {
    dialog_resources::AssertMainThread("UiProgressDialog::Start");
    EnsureInitialised();
    showCurrentTotal_ = start.showCurrentTotal;
    logo_ = start.logo;
    counters_.SetLogo(start.logo);
    Reset();
    if (start.logo) counters_.SetLogo(start.logo);
    if (!start.outputDir.empty()) {
        hasOutputFolder_ = true;
        outputFolder_ = BASUtilityString::Utf8ToUtf16(start.outputDir);
    }
    if (!start.desc.empty()) counters_.SetDescription(BASUtilityString::Utf8ToUtf16(start.desc));
    if (!start.title.empty()) SetTitle(BASUtilityString::Utf8ToUtf16(start.title));
    autoClose_ = start.autoClose;
    deviceId_ = start.deviceId;

    // Shown.
    openFolderButton_.setVisible(hasOutputFolder_);
    shownDescription_ = counters_.Description();
    DescribeBar();
    timer_.start(kTickMs, this);
    CentreOver(ParentWindow());
    Show(true);
    // The main window is disabled while the dialog shows: the keyboard
    // comes here, where Enter or Escape ends the job.
    activateWindow();
    closeOkButton_.setFocus(Qt::OtherFocusReason);
    repaint();

    cancelFunction_ = start.cancelFunction;
    cancelValue1_ = start.cancelValue1;
    cancelValue2_ = start.cancelValue2;
}

void UiProgressDialog::ChangeLogo(QImage* logo) {
    dialog_resources::AssertMainThread("UiProgressDialog::ChangeLogo");
    if (!logo) return;
    const bool reshaped = (logo_ == nullptr) != (logo == nullptr) || (logo_ && Utils::PictureSize(logo_) != Utils::PictureSize(logo));
    logo_ = logo;
    if (reshaped) LayoutProgress();
    update(logoRect_);
}

void UiProgressDialog::timerEvent(QTimerEvent* e) {
    if (e->timerId() == timer_.timerId()) {
        Tick();
        return;
    }
    UiDialog::timerEvent(e);
}

void UiProgressDialog::AppendFailures() {
    for (const ProgressCounters::Failure& failure : counters_.TakeNewFailures()) {
        log_.Append(dialog_resources::Tr(u"[Fail] ") + QString::number(failure.number) + QLatin1Char('.') +
                    Q(failure.path) + QLatin1Char('\n'));
    }
}

void UiProgressDialog::Tick() {
    AppendFailures();
    if (QImage* logo = counters_.Logo(); logo && logo != logo_) ChangeLogo(logo);
    const int position = counters_.Position();
    const int total = counters_.Total();
    const std::u16string description = counters_.Description();
    if (position != lastPosition_ || total != lastTotal_ || description != shownDescription_) {
        lastPosition_ = position;
        lastTotal_ = total;
        shownDescription_ = description;
        update(barRect_);
        update(textRect_);
        DescribeBar();
    }
    if (!counters_.Finished()) return;

    const int failed = counters_.Failures();
    if (failed > 0) {
        std::u16string text = dialog_resources::Tr16(u"failed") + u"(" + BASUtilityString::Utf8ToUtf16(std::to_string(failed)) + u")";
        if (!shownDescription_.empty()) text += u" " + shownDescription_;
        shownDescription_ = text;
        lastPosition_ = total - failed;
        autoClose_ = false;
    } else {
        shownDescription_ = dialog_resources::Tr16(u"finish");
    }
    timer_.stop();
    MarkFinished();
    // The end is news for a screen reader's user, who cannot see the bar fill.
    DescribeBar();
    Accessibility::Announce(bar_);
    if (autoClose_) {
        dismissed_ = true;
        repaint();
        // The end stays readable for a moment before the dialog goes.
        QTimer::singleShot(500, this, [this] {
            if (isVisible() && IsFinished() && !timer_.isActive()) CloseJob();
        });
        return;
    }
    closeOkButton_.SetText(dialog_resources::Tr(u"ok"));
    LayoutProgress();
}

void UiProgressDialog::DescribeBar() {
    if (!bar_) return;
    bar_->setAccessibleName(Q(Title()));
    bar_->SetRange(0, lastTotal_);
    bar_->SetAccessibleValue(lastPosition_);
    const QString counter = CounterText();
    const QString description = Q(shownDescription_);
    bar_->setAccessibleDescription(counter.isEmpty() ? description : description + QStringLiteral(" ") + counter);
}

QString UiProgressDialog::CounterText() const {
    if (showCurrentTotal_) return QString::number(lastPosition_) + QStringLiteral(" / ") + QString::number(lastTotal_);
    if (lastTotal_ == 0) return QString();
    return QString::asprintf("%.2f", lastPosition_ * 100.0 / lastTotal_) + QLatin1Char('%');
}

void UiProgressDialog::DrawContent(QPainter& painter, const QRect& body) {
    const QFont& font = dialog_resources::Font("font:16:normal");
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(221, 221, 221), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(barRect_).adjusted(0.5, 0.5, -0.5, -0.5), Scaled(8) / 2.0, Scaled(8) / 2.0);

    const QRect inner = barRect_.adjusted(Scaled(4), Scaled(2), -Scaled(4), -Scaled(2));
    const int filled = lastTotal_ != 0
                           ? static_cast<int>(std::floor(static_cast<double>(std::max(0, lastPosition_)) * inner.width() / lastTotal_))
                           : 0;
    if (filled > 0) {
        painter.setPen(Qt::NoPen);
        // The title colour fills the bar, unless the theme's title is too
        // light to show against the white body; then the buttons' colour does.
        const QColor title = TitleColour();
        painter.setBrush(dialog_resources::TextOn(title) == QColor(Qt::white)
                             ? title
                             : dialog_resources::StoreColor("color:common:button:normal", QColor(0x2F, 0x6F, 0xEB)));
        painter.drawRoundedRect(QRect(inner.left(), inner.top(), std::min(filled, inner.width()), inner.height()),
                                inner.height() / 2.0, inner.height() / 2.0);
    }

    const QString counter = CounterText();
    const QFontMetrics metrics(font);
    const int counterWidth = metrics.horizontalAdvance(counter);
    const int lineTop = Scaled(50) - metrics.height() / 2 - Scaled(6);
    const QRect descriptionRect(barRect_.left(), lineTop, body.right() - Scaled(40) - counterWidth - barRect_.left(),
                                metrics.height());
    painter.fillRect(descriptionRect, Qt::white);
    Utils::DrawTextInRect(painter, Q(shownDescription_), &font, QColor(0x33, 0x33, 0x33), descriptionRect,
                          Qt::AlignLeft | Qt::AlignVCenter, false);
    Utils::DrawTextInRect(painter, counter, &font, QColor(0x33, 0x33, 0x33),
                          QRect(barRect_.right() - counterWidth, lineTop, counterWidth + 1, metrics.height()),
                          Qt::AlignRight | Qt::AlignVCenter, false);
    if (logo_ && !logo_->isNull()) Utils::DrawImage(painter, logo_, logoRect_);
}

void UiProgressDialog::OnCommand(int id) {
    switch (id) {
    case kOpenFolderId:
        if (!outputFolder_.empty()) BASUtilityApp::OpenFolder(outputFolder_);
        break;
    case kCloseOkId:
    case kCloseId:
        EndByUser();
        break;
    case kDetailsId:
        ToggleDetails();
        break;
    default:
        break;
    }
}

void UiProgressDialog::EndByUser() {
    timer_.stop();
    shownDescription_.clear();
    // The job's last notification may have come after the last tick: it has
    // ended then, and there is nothing left to cancel.
    if (!IsFinished() && !counters_.Finished()) {
        MarkFinished();
        counters_.End();
        // Exactly once: the job is marked finished before the call, so a
        // second press (now "ok") only closes.
        if (cancelFunction_) cancelFunction_(cancelValue1_, cancelValue2_);
    }
    counters_.End();
    dismissed_ = true;
    Show(false);
}

void UiProgressDialog::CancelFromModule(const std::string& deviceId) {
    dialog_resources::AssertMainThread("UiProgressDialog::CancelFromModule");
    if (deviceId != deviceId_) return;
    // A job whose end has arrived (seen by a tick or not yet) shows its end.
    if (IsFinished() || counters_.Finished()) return;
    MarkFinished();
    CloseJob();
}

void UiProgressDialog::CloseJob() {
    timer_.stop();
    counters_.End();
    Show(false);
}

void UiProgressDialog::StopTicking(const std::u16string& description) {
    Tick();
    timer_.stop();
    shownDescription_ = description;
    update();
}

void UiProgressDialog::ToggleDetails() {
    detailsOpen_ = !detailsOpen_;
    if (detailsOpen_) {
        detailsButton_.SetNormalImage(dialog_resources::Image("dialog/take-back-normal.png"));
        detailsButton_.SetPressedImage(dialog_resources::Image("dialog/take-back-pressed.png"));
        SetDialogSize(DialogWidth(), baseHeight_ + Scaled(160));
        log_.setGeometry(0, baseHeight_, DialogWidth(), Scaled(160));
        log_.show();
    } else {
        detailsButton_.SetNormalImage(dialog_resources::Image("dialog/slide-down-normal.png"));
        detailsButton_.SetPressedImage(dialog_resources::Image("dialog/slide-down-pressed.png"));
        log_.hide();
        SetDialogSize(DialogWidth(), baseHeight_);
    }
}
