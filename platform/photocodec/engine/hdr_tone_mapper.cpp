#include "hdr_tone_mapper.h"

#include <algorithm>
#include <cmath>

namespace photocodec {

namespace {

constexpr double kSdrWhiteNits = 203.0;
constexpr double kHlgPeakNits = 1000.0;
// Below the knee the picture is left as it is; above it highlights are
// compressed towards white.
constexpr double kKnee = 0.7;
constexpr int kEncodeSteps = 4095;

double pqToNits(double v)
{
    const double m1 = 2610.0 / 16384.0;
    const double m2 = 2523.0 / 4096.0 * 128.0;
    const double c1 = 3424.0 / 4096.0;
    const double c2 = 2413.0 / 4096.0 * 32.0;
    const double c3 = 2392.0 / 4096.0 * 32.0;
    double p = std::pow(std::clamp(v, 0.0, 1.0), 1.0 / m2);
    double num = std::max(p - c1, 0.0);
    double den = c2 - c3 * p;
    return 10000.0 * std::pow(num / den, 1.0 / m1);
}

double hlgToScene(double v)
{
    const double a = 0.17883277;
    const double b = 1.0 - 4.0 * a;
    const double c = 0.5 - a * std::log(4.0 * a);
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.5 ? v * v / 3.0 : (std::exp((v - c) / a) + b) / 12.0;
}

double srgbEncode(double linear)
{
    linear = std::clamp(linear, 0.0, 1.0);
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

}  // namespace

HdrToneMapper::HdrToneMapper(Transfer transfer, const Chromaticities& primaries, int bitDepth)
    : transfer_(transfer)
{
    maxCode_ = (1 << std::clamp(bitDepth, 8, 16)) - 1;
    linear_.resize(static_cast<size_t>(maxCode_) + 1);
    for (int code = 0; code <= maxCode_; ++code) {
        double v = static_cast<double>(code) / maxCode_;
        // HLG is scene light here; the display step (OOTF) needs all three
        // channels and comes per pixel.
        linear_[static_cast<size_t>(code)] =
            static_cast<float>(transfer == Transfer::Hlg ? hlgToScene(v) : pqToNits(v) / kSdrWhiteNits);
    }
    double sourceToXyz[3][3];
    rgbToXyzMatrix(primaries, sourceToXyz);
    double p3ToXyz[3][3];
    rgbToXyzMatrix(displayP3(), p3ToXyz);
    double xyzToP3[3][3];
    invert3(p3ToXyz, xyzToP3);
    multiply3(xyzToP3, sourceToXyz, toOutput_);
    encode_.resize(kEncodeSteps + 1);
    for (int i = 0; i <= kEncodeSteps; ++i) {
        encode_[static_cast<size_t>(i)] =
            static_cast<uint8_t>(std::lround(srgbEncode(static_cast<double>(i) / kEncodeSteps) * 255.0));
    }
}

double HdrToneMapper::toneCurve(double x) const
{
    if (x <= kKnee) {
        return x;
    }
    // Continuous in value and slope at the knee, approaching white.
    return kKnee + (1.0 - kKnee) * (1.0 - std::exp(-(x - kKnee) / (1.0 - kKnee)));
}

void HdrToneMapper::mapRow(const uint16_t* in, int channels, uint32_t count, uint8_t* out) const
{
    const int outChannels = channels == 4 ? 4 : 3;
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t* px = in + static_cast<size_t>(i) * channels;
        double rgb[3];
        for (int c = 0; c < 3; ++c) {
            rgb[c] = linear_[std::min<uint32_t>(px[c], static_cast<uint32_t>(maxCode_))];
        }
        if (transfer_ == Transfer::Hlg) {
            // BT.2100 OOTF for a 1000 cd/m² display: gamma 1.2 on scene
            // luminance.
            double ys = 0.2627 * rgb[0] + 0.6780 * rgb[1] + 0.0593 * rgb[2];
            double gain = ys > 0 ? std::pow(ys, 0.2) : 0.0;
            for (double& v : rgb) {
                v = v * gain * kHlgPeakNits / kSdrWhiteNits;
            }
        }
        double p3[3];
        for (int r = 0; r < 3; ++r) {
            p3[r] = std::max(0.0, toOutput_[r][0] * rgb[0] + toOutput_[r][1] * rgb[1] + toOutput_[r][2] * rgb[2]);
        }
        // Scaling all three channels by one factor keeps hue and
        // saturation while the brightest channel is compressed.
        double peak = std::max({p3[0], p3[1], p3[2]});
        double scale = peak > kKnee ? toneCurve(peak) / peak : 1.0;
        uint8_t* o = out + static_cast<size_t>(i) * outChannels;
        for (int c = 0; c < 3; ++c) {
            double v = std::min(1.0, p3[c] * scale);
            o[c] = encode_[static_cast<size_t>(std::lround(v * kEncodeSteps))];
        }
        if (outChannels == 4) {
            o[3] = static_cast<uint8_t>((static_cast<uint32_t>(std::min<uint32_t>(px[3], maxCode_)) * 255u +
                                         static_cast<uint32_t>(maxCode_) / 2) /
                                        static_cast<uint32_t>(maxCode_));
        }
    }
}

}  // namespace photocodec
