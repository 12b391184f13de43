// The one-item menu that asks before dropped files are added: its item
// ("drag-drop-here") measured and drawn by the view, the menu placed at the
// cursor or, when the cursor is on no screen, at the nearest screen's edge.
#ifndef WORKBENCH_VO_DROP_MENU_H
#define WORKBENCH_VO_DROP_MENU_H

#include <QFont>
#include <QMenu>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>
#include <vector>

class QProxyStyle;

class VoDropMenu {
public:
    struct Screen {
        QRect geometry;
        QRect workArea;
    };

    // Where the menu opens for a cursor at `cursor`: there, when a screen
    // holds it; otherwise x moves into the work area of the nearest screen
    // (its left or right edge) and y stays.
    static QPoint Place(const QPoint& cursor, const std::vector<Screen>& screens);
    // The application's screens.
    static std::vector<Screen> Screens();
    // The item: its text's width + 16 d by its text's height + 4 d.
    static QSize ItemSize(const QString& text, const QFont& font, float dpiScale);

    VoDropMenu(QWidget* parent, const QString& text, const QFont& font, float dpiScale);
    ~VoDropMenu();
    VoDropMenu(const VoDropMenu&) = delete;
    VoDropMenu& operator=(const VoDropMenu&) = delete;

    // Shows the menu for a cursor at `cursor` and waits: true when the item
    // was chosen.
    bool Exec(const QPoint& cursor);
    QMenu& Menu() { return menu_; }
    QAction* Item() const { return item_; }

private:
    std::unique_ptr<QProxyStyle> style_;  // the menu draws with it: declared first, it goes last
    QMenu menu_;
    QAction* item_ = nullptr;  // owned by the menu
};

#endif  // WORKBENCH_VO_DROP_MENU_H
