// Where everything of the band goes, as plain arithmetic on the band's width
// and the display scale, so it can be checked without a window.
#ifndef TITLEBAR_TITLEBAR_LAYOUT_H
#define TITLEBAR_TITLEBAR_LAYOUT_H

#include <QPoint>
#include <QRect>

namespace titlebar {

// The host's sheet tip slides down from 32 pixels below the top of the main
// view (not scaled), over the band: the icon, the name and every button
// stay above that line at any scale, so the tip never covers one of them.
constexpr int kCaptionRowPx = 32;

struct Layout {
    QRect icon;
    QRect title;
    QRect menu;
    QRect minimize;
    QRect maximize;
    QRect close;
};

// n times the scale, truncated toward zero.
int Scaled(int n, float scale);

// The band's layout at `width` pixels: icon and name from the left, the menu
// button and the three caption buttons from the right, all in the caption row.
Layout ComputeLayout(int width, float scale);

// The name is written in the host's 14-point font, but never taller than
// this, so at large scales it still sits in the caption row.
constexpr int kTitleMaxPx = kCaptionRowPx - 10;

// Where the window goes when a drag restores it from maximised: the cursor
// keeps its place in the title bar, proportionally across the width and at
// the same height from the top.
QPoint RestoredOrigin(const QPoint& cursor, const QPoint& pressInWindow, int maximisedWidth, int restoredWidth);

// "rect" of a create request: four integers, left, top, width and height,
// with a width and a height that are not negative. False for anything else.
bool ParseCreateRect(const char* json, QRect* rect);

}  // namespace titlebar

#endif  // TITLEBAR_TITLEBAR_LAYOUT_H
