// The display scale the whole program lays out with.
#ifndef PIXBRIDGE_HOST_DISPLAY_SCALE_H
#define PIXBRIDGE_HOST_DISPLAY_SCALE_H

namespace display {

constexpr float kMinDpiScale = 0.5f;
constexpr float kMaxDpiScale = 4.0f;

// A scale from the settings ("DPI") or the screen, brought into 0.5 .. 4: a
// stored 1e30 would otherwise size windows, fonts and images without end.
// Not a number gives 1.
float ClampDpiScale(double scale);

// The program's own scale, by which it multiplies every length it lays out
// in Qt's device-independent pixels. Qt already multiplies those by the
// screen's device pixel ratio (Xft.dpi, QT_SCALE_FACTOR, the compositor's
// scale), so:
// - a non-zero "DPI" setting counts device pixels, as it always has (1.5: a
//   1431 x 921-pixel window on any desktop), and the program's own part is
//   the setting (clamped) over Qt's ratio;
// - without one (0) the desktop decides: Qt's ratio, and on top of it
//   whatever the screen's logical dots per inch add beyond 96.
// A ratio that is not a positive number counts as 1.
float ProgramScale(double storedDpi, double deviceRatio, double logicalDpi);

}  // namespace display

#endif  // PIXBRIDGE_HOST_DISPLAY_SCALE_H
