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

}  // namespace display

#endif  // PIXBRIDGE_HOST_DISPLAY_SCALE_H
