#include "display_scale.h"

#include <cmath>

namespace display {

float ClampDpiScale(double scale) {
    if (std::isnan(scale)) return 1.0f;
    if (scale < kMinDpiScale) return kMinDpiScale;
    if (scale > kMaxDpiScale) return kMaxDpiScale;
    return static_cast<float>(scale);
}

}  // namespace display
