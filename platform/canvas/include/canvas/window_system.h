// What the window system under the program does for its windows, asked once
// where the answer cannot change and again where it can (a window manager
// may start or stop while the program runs).
#ifndef CANVAS_WINDOW_SYSTEM_H
#define CANVAS_WINDOW_SYSTEM_H

#include "canvas_export.h"

namespace WindowSystem {

// Qt runs natively on a Wayland compositor: the compositor places every
// top-level window and no client can read or set a window's position.
CANVAS_EXPORT bool IsWayland();

// A window manager or compositor applies window states (maximised, normal):
// always on Wayland, on X11 when a window manager runs, and on Qt's
// headless platform, which applies them itself. False on a bare X server,
// where a program places its windows by hand.
CANVAS_EXPORT bool AppliesWindowStates();

// Translucent companion windows (drop shadows beside a window) can be
// shown: an X11 screen with a compositing manager. Never on Wayland, where
// a companion cannot be kept beside its owner, nor on a bare X server,
// where the translucent pixels would paint as a dark frame.
CANVAS_EXPORT bool CanShowCompanionShadows();

}  // namespace WindowSystem

#endif  // CANVAS_WINDOW_SYSTEM_H
