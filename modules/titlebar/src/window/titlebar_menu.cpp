#include "window/titlebar_menu.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionMenuItem>

#include <algorithm>

const std::vector<MenuItem>& MenuItems() {
    static const std::vector<MenuItem> items = {
        {MenuAction::kSettings, u"settings", nullptr, false},
        {MenuAction::kAbout, u"about", nullptr, false},
        {MenuAction::kCheckForUpdate, u"check-for-updates", nullptr, false},
        {MenuAction::kHelp, u"help", "url:help", true},
        {MenuAction::kFeedback, u"feedback", "url:feedback", false},
        {MenuAction::kSupport, u"support", "url:support", false},
    };
    return items;
}

QUrl WebUrl(const std::string& text) {
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")) || url.host().isEmpty()) {
        return QUrl();
    }
    return url;
}

TitlebarMenuStyle::TitlebarMenuStyle(const MenuColours& colours, float dpiScale)
    : colours_(colours), dpiScale_(dpiScale) {}

int TitlebarMenuStyle::Scaled(int n) const { return static_cast<int>(static_cast<float>(n) * dpiScale_); }

int TitlebarMenuStyle::ItemHeight() const { return Scaled(32); }

int TitlebarMenuStyle::SeparatorHeight() const { return Scaled(9); }

int TitlebarMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
    switch (metric) {
    case PM_MenuPanelWidth:
        return 1;
    case PM_MenuHMargin:
    case PM_MenuVMargin:
        return Scaled(4);
    case PM_MenuDesktopFrameWidth:
        return 0;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

QSize TitlebarMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                          const QWidget* widget) const {
    if (type != CT_MenuItem) return QProxyStyle::sizeFromContents(type, option, size, widget);
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (item && item->menuItemType == QStyleOptionMenuItem::Separator) return QSize(Scaled(40), SeparatorHeight());
    const int textWidth = item ? item->fontMetrics.horizontalAdvance(item->text) : size.width();
    return QSize(std::max(Scaled(180), textWidth + 2 * Scaled(16)), ItemHeight());
}

void TitlebarMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                      const QWidget* widget) const {
    if (element == PE_PanelMenu || element == PE_FrameMenu) {
        painter->save();
        painter->setPen(QPen(colours_.border, 1));
        painter->setBrush(element == PE_PanelMenu ? QBrush(colours_.background) : Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void TitlebarMenuStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                    const QWidget* widget) const {
    if (element == CE_MenuEmptyArea) {
        painter->fillRect(option->rect, colours_.background);
        return;
    }
    if (element != CE_MenuItem) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (!item) return;
    painter->save();
    painter->fillRect(item->rect, colours_.background);
    if (item->menuItemType == QStyleOptionMenuItem::Separator) {
        const int y = item->rect.center().y();
        painter->setPen(QPen(colours_.separator, 1));
        painter->drawLine(item->rect.left() + Scaled(8), y, item->rect.right() - Scaled(8), y);
        painter->restore();
        return;
    }
    const bool enabled = item->state & State_Enabled;
    if (enabled && (item->state & State_Selected)) {
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->setPen(Qt::NoPen);
        painter->setBrush(colours_.selected);
        const qreal radius = Scaled(4);
        painter->drawRoundedRect(QRectF(item->rect).adjusted(1, 1, -1, -1), radius, radius);
    }
    QColor text = colours_.text;
    if (!enabled) text.setAlpha(110);
    painter->setPen(text);
    painter->setFont(item->font);
    const QRect textRect = item->rect.adjusted(Scaled(16), 0, -Scaled(16), 0);
    const QString shown = item->fontMetrics.elidedText(item->text, Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextHideMnemonic, shown);
    painter->restore();
}
