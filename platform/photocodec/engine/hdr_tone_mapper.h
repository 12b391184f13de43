// Brings a PQ or HLG (HDR) photo down to an SDR picture that looks right on
// an ordinary screen: linear light, SDR white at 203 cd/m² (ITU-R BT.2408),
// highlights rolled off smoothly instead of clipped, colours converted to
// Display P3 (which keeps most of a wide-gamut photo's colours) and encoded
// with the sRGB curve.
#ifndef PHOTOCODEC_HDR_TONE_MAPPER_H
#define PHOTOCODEC_HDR_TONE_MAPPER_H

#include <cstdint>
#include <vector>

#include "color_profile.h"

namespace photocodec {

class HdrToneMapper {
public:
    HdrToneMapper(Transfer transfer, const Chromaticities& primaries, int bitDepth);

    // `in` holds `channels` (3 or 4) 16-bit values a pixel; `out` gets 3 or
    // 4 bytes a pixel (alpha scaled to 8 bits).
    void mapRow(const uint16_t* in, int channels, uint32_t count, uint8_t* out) const;

private:
    double toneCurve(double x) const;

    Transfer transfer_;
    int maxCode_ = 1023;
    std::vector<float> linear_;  // code -> linear light, 1.0 = SDR white
    double toOutput_[3][3] = {};
    std::vector<uint8_t> encode_;  // linear 0..1 in steps of 1/4095 -> sRGB byte
};

}  // namespace photocodec

#endif  // PHOTOCODEC_HDR_TONE_MAPPER_H
