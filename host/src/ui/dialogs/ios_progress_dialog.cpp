#include "ios_progress_dialog.h"

#include "dialog_resources.h"

#include <canvas/pictures.h>
#include <canvas/utils.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

#include <cstdio>

iOSProgressDialog::iOSProgressDialog(float dpiScale, const std::string& key, const QString& animationPath)
    : QDialog(nullptr, Qt::Tool | Qt::FramelessWindowHint), dpiScale_(dpiScale > 0 ? dpiScale : 1.0f), key_(key) {
    dialog_resources::AssertMainThread("iOSProgressDialog");
    // The spinner twice as fine where the screen or the setting scales up.
    const QString path = Utils::PicturePath(animationPath, Utils::DeviceScale(dpiScale_));
    Utils::StoreGifInternal(path, &frames_, &delaysMs_);
    if (path != animationPath) {
        for (QImage& frame : frames_) frame.setDevicePixelRatio(2.0);
    }
    label_ = dialog_resources::Tr(u"loading...");
    shownText_ = label_;
    setAccessibleName(label_);
    setWindowTitle(label_);
}

iOSProgressDialog::~iOSProgressDialog() {
    if (owner_) owner_->setEnabled(true);
}

void iOSProgressDialog::CreatePanel(QWidget* owner) {
    owner_ = owner;
    // Drawn inside the owner's window, over the owner: it moves with the
    // window, and it stays centred where a compositor places every window
    // of its own (Wayland).
    if (owner) setParent(owner->window(), Qt::Widget);
    resize(Scaled(404), Scaled(40));
    CentreOverOwner();
    if (!frames_.empty()) frameTimer_.start(delaysMs_.front(), this);
}

void iOSProgressDialog::CentreOverOwner() {
    QRect area;
    if (owner_ && !isWindow()) {
        area = QRect(owner_->mapTo(parentWidget(), QPoint(0, 0)), owner_->size());
    } else if (owner_) {
        area = QRect(owner_->mapToGlobal(QPoint(0, 0)), owner_->size());
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
}

void iOSProgressDialog::ShowPanel(bool visible) {
    dialog_resources::AssertMainThread("iOSProgressDialog::ShowPanel");
    if (owner_) owner_->setEnabled(!visible);
    if (visible) {
        CentreOverOwner();
        show();
        raise();
    } else {
        hide();
    }
}

void iOSProgressDialog::UpdateCount(int64_t current, int64_t total) {
    dialog_resources::AssertMainThread("iOSProgressDialog::UpdateCount");
    char counts[64];
    std::snprintf(counts, sizeof counts, "(%lld/%lld) ", static_cast<long long>(current), static_cast<long long>(total));
    QString text = label_ + QString::fromLatin1(counts);
    // The shown text is at most 519 characters, like the label field it fills.
    if (text.size() > 519) text.truncate(519);
    shownText_ = text;
    setAccessibleName(text);
    update();
}

void iOSProgressDialog::timerEvent(QTimerEvent* e) {
    if (e->timerId() != frameTimer_.timerId()) return QDialog::timerEvent(e);
    if (frames_.empty()) return frameTimer_.stop();
    frame_ = (frame_ + 1) % frames_.size();
    frameTimer_.start(delaysMs_[frame_], this);
    update();
}

void iOSProgressDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QColor(180, 180, 180));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    int textLeft = Scaled(20);
    int animationTop = 0;
    int animationHeight = 0;
    if (!frames_.empty()) {
        const QImage& image = frames_[frame_];
        const QSize picture = Utils::PictureSize(&image);
        const int w = Scaled(picture.width());
        animationHeight = Scaled(picture.height());
        animationTop = (Scaled(40) - animationHeight) / 2;
        Utils::DrawImage(painter, &image, QRect(Scaled(20), animationTop, w, animationHeight));
        textLeft = Scaled(20) + w + Scaled(12);
    }
    const QFont& font = dialog_resources::Font("font:16:normal");
    const int textHeight = QFontMetrics(font).height();
    const int top = frames_.empty() ? (height() - textHeight) / 2 : animationTop + (animationHeight - textHeight) / 2;
    Utils::DrawTextInRect(painter, shownText_, &font, QColor(0x33, 0x33, 0x33),
                          QRect(textLeft, top, width() - textLeft, textHeight), Qt::AlignLeft | Qt::AlignVCenter, false);
}
