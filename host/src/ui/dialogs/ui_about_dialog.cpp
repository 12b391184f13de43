#include "ui_about_dialog.h"

#include "dialog_resources.h"
#include "ui_link_alert_dialog.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <canvas/utils.h>

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>

#include <glog/logging.h>

namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

}  // namespace

UiAboutDialog::UiAboutDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed,
                             const Identity& identity)
    : UiAlertDialog(dpiScale, closeNormal, closePressed, nullptr, false, false, dialog_resources::Tr16(u"ok"), u""),
      identity_(identity) {}

UiAboutDialog::~UiAboutDialog() = default;

void UiAboutDialog::InitDialog() {
    UiDialog::InitDialog();  // no alert buttons: the about dialog has its own
    setWindowTitle(Q(identity_.productName));
    versionLine_ = dialog_resources::Tr16(u"version") + u": " + identity_.version;
    std::u16string moreInfo =
        BASUtilityString::Format(dialog_resources::Tr16(u"more-info-visit-%s").c_str(), identity_.brand.c_str());
    if (moreInfo.size() > 259) moreInfo.resize(259);
    moreInfoLine_ = moreInfo;
    noticeLine_ = BASUtilityString::Format(dialog_resources::Tr16(u"copyright-%d-%s").c_str(), identity_.buildYear,
                                           identity_.brand.c_str());

    StyleButton(okButton_, kConfirmId, Q(okText_), {"font:gdiplus:17:bold", 24, 6, 4});
    okButton_.setDefault(true);
    secondButton_.hide();

    link_ = std::make_unique<QLabel>(this);
    link_->setObjectName(QStringLiteral("brand-link"));
    link_->setTextFormat(Qt::RichText);
    link_->setFont(dialog_resources::Font("font:16:normal"));
    link_->setText(Utils::LinkMarkupToHtml(u"<A HREF=\"" + identity_.brandUrl + u"\">" + identity_.brandUrl + u"</A>"));
    link_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    QObject::connect(link_.get(), &QLabel::linkActivated, this, [](const QString& url) {
        if (!UiLinkAlertDialog::IsOpenableUrl(url.toStdU16String())) {
            LOG(ERROR) << "link refused (not http, https or mailto): " << url.toStdString();
            return;
        }
        BASUtilityApp::OpenUrl(url.toUtf8().constData());
    });
    link_->setVisible(!identity_.brandUrl.empty());
    Layout();
    okButton_.setFocus();
}

void UiAboutDialog::Layout() {
    const int w = DialogWidth();
    auto line = [&](const char* fontName, const std::u16string& text, int top) {
        const QFontMetrics metrics(dialog_resources::Font(fontName));
        return QRect(0, top, w, metrics.height());
    };
    logoRect_ = QRect((w - Scaled(96)) / 2, Scaled(28), Scaled(96), Scaled(96));
    nameRect_ = line("font:gdiplus:19:bold", identity_.productName, Scaled(136));
    versionRect_ = line("font:gdiplus:17:normal", versionLine_, nameRect_.bottom() + 1 + Scaled(16));
    moreInfoRect_ = line("font:gdiplus:17:bold", moreInfoLine_, versionRect_.bottom() + 1 + Scaled(40));
    noticeRect_ = line("font:gdiplus:17:normal", noticeLine_, moreInfoRect_.bottom() + 1 + Scaled(40));
    if (link_) {
        const QSize size = link_->sizeHint();
        link_->setGeometry((w - size.width()) / 2, moreInfoRect_.bottom() + 1 + Scaled(8), size.width(), size.height());
    }
    // The button sits at the bottom right, scaled(10) in from both edges.
    okButton_.move(w - Scaled(10) - okButton_.width(), DialogHeight() - Scaled(10) - okButton_.height());
}

void UiAboutDialog::OnPaint(QPainter& painter) {
    const QRect client = rect();
    const int band = Scaled(196);
    const QColor colour = TitleColour();
    const QColor onBand = dialog_resources::TextOn(colour);
    painter.fillRect(QRect(0, 0, client.width(), band), colour);
    painter.fillRect(QRect(0, band, client.width(), client.height() - band), Qt::white);
    painter.setPen(QPen(dialog_resources::StoreColor("color:title:category:select:background", QColor(0xE6, 0xEE, 0xFD)), 2));
    painter.drawLine(0, band, client.width(), band);
    painter.setPen(QColor(221, 221, 221));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(client.adjusted(0, 0, -1, -1));
    Utils::DrawImage(painter, dialog_resources::Image("application128x128.png"), logoRect_);
    Utils::DrawTextCenter(painter, Q(identity_.productName), &dialog_resources::Font("font:gdiplus:19:bold"), onBand, nameRect_);
    Utils::DrawTextCenter(painter, Q(versionLine_), &dialog_resources::Font("font:gdiplus:17:normal"), onBand, versionRect_);
    Utils::DrawTextCenter(painter, Q(moreInfoLine_), &dialog_resources::Font("font:gdiplus:17:bold"), Qt::black,
                          moreInfoRect_);
    Utils::DrawTextCenter(painter, Q(noticeLine_), &dialog_resources::Font("font:gdiplus:17:normal"), QColor(127, 127, 127),
                          noticeRect_);
}
