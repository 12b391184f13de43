// Colour descriptions: ICC profiles made for photos that only carry an nclx
// description (primaries and transfer codes), and the checks an embedded
// profile must pass before it is copied.
#ifndef PHOTOCODEC_COLOR_PROFILE_H
#define PHOTOCODEC_COLOR_PROFILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace photocodec {

struct Chromaticities {
    double redX = 0.64, redY = 0.33;
    double greenX = 0.30, greenY = 0.60;
    double blueX = 0.15, blueY = 0.06;
    double whiteX = 0.3127, whiteY = 0.3290;
};

// H.273 transfer characteristics codes that matter here.
enum class Transfer {
    Srgb,     // 13, and what unknown codes fall back to
    Bt709,    // 1, 6, 14, 15: the camera curve, inverted for display
    Gamma22,  // 4
    Gamma28,  // 5
    Linear,   // 8
    Smpte240, // 7
    Pq,       // 16
    Hlg,      // 18
};

Transfer transferFromCode(int code);
Chromaticities displayP3();
Chromaticities chromaticitiesFromCode(int primariesCode);

// An ICC v4 display profile for RGB with these primaries and curve (not
// for PQ or HLG, which are tone mapped first).
std::vector<uint8_t> makeRgbProfile(const Chromaticities& primaries, Transfer transfer,
                                    const std::string& description);

// True when an nclx description means plain sRGB, which needs no profile:
// every viewer assumes it for an untagged file.
bool isSrgbEquivalent(int primariesCode, int transferCode);

// Whether the bytes are an ICC profile: a header with the "acsp" mark and a
// declared size no larger than the bytes (writers may pad after it).
bool isIccProfile(const std::vector<uint8_t>& profile);
// The size the profile's header declares.
uint32_t iccDeclaredSize(const std::vector<uint8_t>& profile);

// The colour space field of a profile that passed isIccProfile:
// "RGB ", "GRAY", "CMYK" ...
std::string iccColorSpace(const std::vector<uint8_t>& profile);

// RGB->XYZ (D65 relative, Y of white = 1) of a set of primaries.
void rgbToXyzMatrix(const Chromaticities& c, double out[3][3]);
void invert3(const double in[3][3], double out[3][3]);
void multiply3(const double a[3][3], const double b[3][3], double out[3][3]);

}  // namespace photocodec

#endif  // PHOTOCODEC_COLOR_PROFILE_H
