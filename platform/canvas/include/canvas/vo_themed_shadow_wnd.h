// A soft drop shadow around a frameless top-level window: a click-through
// translucent window that follows its owner.
#ifndef CANVAS_VO_THEMED_SHADOW_WND_H
#define CANVAS_VO_THEMED_SHADOW_WND_H

#include "canvas_export.h"

#include <QWidget>

class CANVAS_EXPORT VoThemedShadowWnd : public QWidget {
public:
    VoThemedShadowWnd();
    ~VoThemedShadowWnd() override;

    // Follows `owner`'s geometry and visibility from now on.
    void Create(QWidget* owner);
    void SetShadowSize(int sizePx);
    int ShadowSize() const { return shadowSize_; }
    // Translucent windows need a compositor; without one (a bare X server)
    // the shadow would paint as a dark frame, so it stays hidden. On Wayland
    // no window can be placed beside another, so it is never shown there.
    static bool CanShowTranslucency();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Follow();

    QWidget* owner_ = nullptr;
    int shadowSize_ = 9;
};

#endif  // CANVAS_VO_THEMED_SHADOW_WND_H
