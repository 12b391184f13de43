// The title bar's menu: its items in order, the look they are drawn in, and
// which links it is willing to open.
#ifndef TITLEBAR_TITLEBAR_MENU_H
#define TITLEBAR_TITLEBAR_MENU_H

#include <QColor>
#include <QProxyStyle>
#include <QUrl>

#include <string>
#include <vector>

enum class MenuAction { kSettings, kAbout, kCheckForUpdate, kHelp, kFeedback, kSupport };

struct MenuItem {
    MenuAction action;
    // Translation key in the "Titlebar" domain; also the action's object name.
    const char16_t* key;
    // Option key of the page the item opens in the browser; null for host commands.
    const char* urlKey;
    // A separator goes above this item.
    bool groupStart;
};

// Settings, about and the update check, then the pages on the web.
const std::vector<MenuItem>& MenuItems();

// The browser opens only web pages: an option value that is not an http or
// https URL with a host (a local file, a script, a typo) gives an invalid URL.
QUrl WebUrl(const std::string& text);

struct MenuColours {
    QColor background{0xFF, 0xFF, 0xFF};
    QColor border{0xD9, 0xDE, 0xE6};
    QColor selected{0xE6, 0xEE, 0xFD};
    QColor text{0x3C, 0x46, 0x55};
    QColor separator{0xE3, 0xE7, 0xED};
};

// Draws the menu's panel and items in the title bar's colours, with real
// actions underneath, so the keyboard and accessibility work as in any menu.
class TitlebarMenuStyle : public QProxyStyle {
public:
    TitlebarMenuStyle(const MenuColours& colours, float dpiScale);

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;

    int ItemHeight() const;
    int SeparatorHeight() const;

private:
    int Scaled(int n) const;

    MenuColours colours_;
    float dpiScale_;
};

#endif  // TITLEBAR_TITLEBAR_MENU_H
