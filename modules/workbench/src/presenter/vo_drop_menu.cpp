#include "presenter/vo_drop_menu.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleOptionMenuItem>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The menu's item as the view measures and draws it: the background (or the
// selection's colours), and the text in the view's font, indented by a check
// mark's width and centred vertically.
class VoDropMenuStyle : public QProxyStyle {
public:
    VoDropMenuStyle(const QFont& font, float dpiScale) : font_(font), dpiScale_(dpiScale) {}

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type == CT_MenuItem && item && item->menuItemType == QStyleOptionMenuItem::Normal) {
            return VoDropMenu::ItemSize(item->text, font_, dpiScale_);
        }
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element != CE_MenuItem || !item || item->menuItemType != QStyleOptionMenuItem::Normal) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const bool selected = (item->state & State_Selected) && (item->state & State_Enabled);
        const QPalette& palette = item->palette;
        painter->save();
        painter->fillRect(item->rect, selected ? palette.highlight() : palette.window());
        painter->setFont(font_);
        painter->setPen(selected ? palette.highlightedText().color() : palette.text().color());
        const int indent = CheckMarkWidth(widget);
        painter->drawText(item->rect.adjusted(indent, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          item->text);
        painter->restore();
    }

    // The width a menu keeps free for its check marks, at the view's scale
    // like the text beside it.
    int CheckMarkWidth(const QWidget* widget) const {
        return static_cast<int>(QProxyStyle::pixelMetric(PM_IndicatorWidth, nullptr, widget) * dpiScale_);
    }

private:
    QFont font_;
    float dpiScale_;
};

int Distance(const QPoint& p, const QRect& r) {
    const int dx = p.x() < r.left() ? r.left() - p.x() : p.x() > r.right() ? p.x() - r.right() : 0;
    const int dy = p.y() < r.top() ? r.top() - p.y() : p.y() > r.bottom() ? p.y() - r.bottom() : 0;
    return static_cast<int>(std::min<double>(INT_MAX, std::hypot(dx, dy)));
}

}  // namespace

QPoint VoDropMenu::Place(const QPoint& cursor, const std::vector<Screen>& screens) {
    const Screen* nearest = nullptr;
    int best = INT_MAX;
    for (const Screen& screen : screens) {
        if (screen.geometry.contains(cursor)) return cursor;
        const int distance = Distance(cursor, screen.geometry);
        if (distance < best) {
            best = distance;
            nearest = &screen;
        }
    }
    if (!nearest) return cursor;
    const QRect& area = nearest->workArea.isValid() ? nearest->workArea : nearest->geometry;
    return QPoint(std::clamp(cursor.x(), area.left(), area.right()), cursor.y());
}

std::vector<VoDropMenu::Screen> VoDropMenu::Screens() {
    std::vector<Screen> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens.push_back({screen->geometry(), screen->availableGeometry()});
    return screens;
}

QSize VoDropMenu::ItemSize(const QString& text, const QFont& font, float dpiScale) {
    const QSize textSize = QFontMetrics(font).size(Qt::TextSingleLine, text);
    return QSize(textSize.width() + static_cast<int>(16 * dpiScale), textSize.height() + static_cast<int>(4 * dpiScale));
}

VoDropMenu::VoDropMenu(QWidget* parent, const QString& text, const QFont& font, float dpiScale)
    : style_(std::make_unique<VoDropMenuStyle>(font, dpiScale)), menu_(parent) {
    menu_.setStyle(style_.get());
    menu_.setFont(font);
    item_ = menu_.addAction(text);
}

VoDropMenu::~VoDropMenu() = default;

bool VoDropMenu::Exec(const QPoint& cursor) { return menu_.exec(Place(cursor, Screens())) == item_; }
