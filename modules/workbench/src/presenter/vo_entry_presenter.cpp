#include "presenter/vo_entry_presenter.h"

#include <canvas/pictures.h>
#include <canvas/utils.h>
#include <canvas/vo_switch_button.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <climits>

VoEntryPresenter::VoEntryPresenter(QWidget* window, const ViewResources& resources) : window_(window), res_(resources) {}

void VoEntryPresenter::Create() {
    add_ = new VoSwitchButton();  // a child of the window from CreateButton on
    add_->SetDpiScale(1.0f);
    add_->CreateButton(window_, &res_.Font("font:gdiplus:20:normal"), kAddId);
    add_->SetRoundRect(true);
    add_->SetRoundRectPoint(res_.D(6), res_.D(6));
    add_->SetHMargin(res_.D(42));
    add_->SetVMargin(res_.D(14));
    const QColor normal = res_.Colour("color:default:button:normal", QColor(0x2F, 0x6F, 0xEB));
    const QColor pressed = res_.Colour("color:default:button:pressed", QColor(0x24, 0x59, 0xC4));
    add_->Init(ViewResources::Tr(u"add-heic"), Qt::white, normal, Qt::white, pressed);
    add_->setToolTip(ViewResources::Tr(u"add-file-tooltip"));
    add_->SetColorBorder(normal);
    add_->SetRadio(false);
    add_->hide();
}

void VoEntryPresenter::FocusAddButton() {
    if (add_) add_->setFocus(Qt::OtherFocusReason);
}

void VoEntryPresenter::SetVisible(bool visible) {
    visible_ = visible;
    if (add_) add_->setVisible(visible);
}

void VoEntryPresenter::Layout(int width, int height) {
    auto d = [this](double n) { return res_.D(n); };
    const QRectF zone(d(100), d(80), width - d(200), height - d(162) - d(80));
    zone_ = Utils::CreateRoundRect(zone, d(8));
    const QFontMetrics metrics(res_.Font("font:gdiplus:16:normal"));
    auto scaledSize = [this](const char* key) {
        const QSize picture = Utils::PictureSize(res_.Image(key));
        return QSize(res_.D(picture.width()), res_.D(picture.height()));
    };
    const QSize main = scaledSize("entry/main-add-image.png");
    const int textWidth = std::max(1, static_cast<int>(zone.width()) - 2 * d(8));
    const QRect measured = metrics.boundingRect(QRect(0, 0, textWidth, kUnboundedHeight), Qt::TextWordWrap | Qt::AlignHCenter,
                                                ViewResources::Tr(u"drag-heic-here-description"));
    const int buttonHeight = add_ ? add_->height() : 0;
    const int gap = 2 * (static_cast<int>(zone.height()) - (buttonHeight + main.height() + measured.height())) / 5;
    const int centreX = static_cast<int>(zone.center().x());
    mainPicture_ = QRect(centreX - main.width() / 2, static_cast<int>(zone.top()) + gap, main.width(), main.height());
    const int spacing = (gap - measured.height()) / 2;
    hint_ = QRect(centreX - textWidth / 2, mainPicture_.bottom() + 1 + spacing, textWidth, measured.height());
    if (add_) add_->move(centreX - add_->width() / 2, hint_.bottom() + 1 + spacing);

    const int band = d(162);
    const QSize single = scaledSize("entry/single-image-conversion.png");
    const QSize batch = scaledSize("entry/batch-image-conversion.png");
    const int pictureTop = static_cast<int>(zone.bottom()) + static_cast<int>(0.4 * (band - single.height()));
    singlePicture_ = QRect(QPoint(static_cast<int>(zone.left()), pictureTop), single);
    const QSize singleText = metrics.size(Qt::TextSingleLine, ViewResources::Tr(u"convert-heic-to-image"));
    singleText_ = QRect(QPoint(singlePicture_.right() + 1 + d(16), singlePicture_.center().y() - singleText.height() / 2),
                        singleText);
    const QSize batchText = metrics.size(Qt::TextSingleLine, ViewResources::Tr(u"batch-convert-description"));
    batchText_ = QRect(QPoint(static_cast<int>(zone.right()) - batchText.width(), pictureTop + batch.height() / 2 -
                                                                                     batchText.height() / 2),
                       batchText);
    batchPicture_ = QRect(QPoint(batchText_.left() - d(16) - batch.width(), pictureTop), batch);
}

void VoEntryPresenter::Paint(QPainter& painter) const {
    if (!visible_) return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPen dashed(QColor(0x5B, 0x9B, 0xD5), res_.DpiScale());
    dashed.setDashPattern({4, 3, 1.5, 3});
    painter.setPen(dashed);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(zone_);
    Utils::DrawImage(painter, res_.Image("entry/main-add-image.png"), mainPicture_);
    Utils::DrawTextInRect(painter, ViewResources::Tr(u"drag-heic-here-description"), &res_.Font("font:gdiplus:16:normal"),
                          Qt::black, hint_, Qt::AlignHCenter | Qt::AlignTop, true);
    Utils::DrawImage(painter, res_.Image("entry/single-image-conversion.png"), singlePicture_);
    Utils::DrawTextInRect(painter, ViewResources::Tr(u"convert-heic-to-image"), &res_.Font("font:gdiplus:16:normal"),
                          QColor(0x33, 0x33, 0x33), singleText_, Qt::AlignLeft | Qt::AlignVCenter, false);
    Utils::DrawImage(painter, res_.Image("entry/batch-image-conversion.png"), batchPicture_);
    Utils::DrawTextInRect(painter, ViewResources::Tr(u"batch-convert-description"), &res_.Font("font:gdiplus:16:normal"),
                          QColor(0x33, 0x33, 0x33), batchText_, Qt::AlignLeft | Qt::AlignVCenter, false);
}
