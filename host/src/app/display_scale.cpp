#include "display_scale.h"

#include <cmath>

namespace display {

float ClampDpiScale(double scale) {
    if (std::isnan(scale)) return 1.0f;
    if (scale < kMinDpiScale) return kMinDpiScale;
    if (scale > kMaxDpiScale) return kMaxDpiScale;
    return static_cast<float>(scale);
}

float ProgramScale(double storedDpi, double deviceRatio, double logicalDpi) {
    const double ratio = std::isfinite(deviceRatio) && deviceRatio > 0 ? deviceRatio : 1.0;
    if (storedDpi != 0.0) return static_cast<float>(ClampDpiScale(storedDpi) / ratio);
    return ClampDpiScale(logicalDpi / 96.0);
}

}  // namespace display
