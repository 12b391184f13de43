#include "color_profile.h"

#include <cmath>
#include <cstring>

namespace photocodec {

namespace {

constexpr double kD50[3] = {0.9642, 1.0, 0.8249};

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    out[at] = static_cast<uint8_t>(v >> 24);
    out[at + 1] = static_cast<uint8_t>(v >> 16);
    out[at + 2] = static_cast<uint8_t>(v >> 8);
    out[at + 3] = static_cast<uint8_t>(v);
}

void append32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void append16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void appendTag(std::vector<uint8_t>& out, const char* sig)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(sig[i]));
    }
}

uint32_t s15Fixed16(double v)
{
    return static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 65536.0)));
}

uint32_t signature(const char* s)
{
    return uint32_t{static_cast<uint8_t>(s[0])} << 24 | uint32_t{static_cast<uint8_t>(s[1])} << 16 |
           uint32_t{static_cast<uint8_t>(s[2])} << 8 | static_cast<uint8_t>(s[3]);
}

std::vector<uint8_t> xyzTag(double x, double y, double z)
{
    std::vector<uint8_t> t;
    appendTag(t, "XYZ ");
    append32(t, 0);
    append32(t, s15Fixed16(x));
    append32(t, s15Fixed16(y));
    append32(t, s15Fixed16(z));
    return t;
}

std::vector<uint8_t> mlucTag(const std::string& ascii)
{
    std::vector<uint8_t> t;
    appendTag(t, "mluc");
    append32(t, 0);
    append32(t, 1);   // one record
    append32(t, 12);  // record size
    t.push_back('e');
    t.push_back('n');
    t.push_back('U');
    t.push_back('S');
    append32(t, static_cast<uint32_t>(ascii.size() * 2));
    append32(t, 28);
    for (char c : ascii) {
        append16(t, static_cast<uint16_t>(static_cast<unsigned char>(c)));
    }
    return t;
}

std::vector<uint8_t> paraTag(Transfer transfer)
{
    std::vector<uint8_t> t;
    appendTag(t, "para");
    append32(t, 0);
    auto curve = [&](uint16_t type, std::initializer_list<double> params) {
        append16(t, type);
        append16(t, 0);
        for (double p : params) {
            append32(t, s15Fixed16(p));
        }
    };
    switch (transfer) {
    case Transfer::Bt709:
        curve(3, {1.0 / 0.45, 1.0 / 1.099, 0.099 / 1.099, 1.0 / 4.5, 0.081});
        break;
    case Transfer::Smpte240:
        curve(3, {1.0 / 0.45, 1.0 / 1.1115, 0.1115 / 1.1115, 1.0 / 4.0, 0.0913});
        break;
    case Transfer::Gamma22:
        curve(0, {2.2});
        break;
    case Transfer::Gamma28:
        curve(0, {2.8});
        break;
    case Transfer::Linear:
        curve(0, {1.0});
        break;
    default:
        curve(3, {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045});
        break;
    }
    return t;
}

void bradford(const double sourceWhite[3], const double targetWhite[3], double out[3][3])
{
    static const double b[3][3] = {{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}};
    double bInv[3][3];
    invert3(b, bInv);
    double s[3];
    double d[3];
    for (int i = 0; i < 3; ++i) {
        s[i] = b[i][0] * sourceWhite[0] + b[i][1] * sourceWhite[1] + b[i][2] * sourceWhite[2];
        d[i] = b[i][0] * targetWhite[0] + b[i][1] * targetWhite[1] + b[i][2] * targetWhite[2];
    }
    double scale[3][3] = {{d[0] / s[0], 0, 0}, {0, d[1] / s[1], 0}, {0, 0, d[2] / s[2]}};
    double tmp[3][3];
    multiply3(scale, b, tmp);
    multiply3(bInv, tmp, out);
}

}  // namespace

void invert3(const double m[3][3], double out[3][3])
{
    double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                 m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    double inv = det != 0 ? 1.0 / det : 0;
    out[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * inv;
    out[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * inv;
    out[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * inv;
    out[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * inv;
    out[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * inv;
    out[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * inv;
    out[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * inv;
    out[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * inv;
    out[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * inv;
}

void multiply3(const double a[3][3], const double b[3][3], double out[3][3])
{
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
        }
    }
}

void rgbToXyzMatrix(const Chromaticities& c, double out[3][3])
{
    const double xs[3] = {c.redX, c.greenX, c.blueX};
    const double ys[3] = {c.redY, c.greenY, c.blueY};
    double p[3][3];
    for (int i = 0; i < 3; ++i) {
        p[0][i] = xs[i] / ys[i];
        p[1][i] = 1.0;
        p[2][i] = (1.0 - xs[i] - ys[i]) / ys[i];
    }
    double white[3] = {c.whiteX / c.whiteY, 1.0, (1.0 - c.whiteX - c.whiteY) / c.whiteY};
    double pInv[3][3];
    invert3(p, pInv);
    double s[3];
    for (int i = 0; i < 3; ++i) {
        s[i] = pInv[i][0] * white[0] + pInv[i][1] * white[1] + pInv[i][2] * white[2];
    }
    for (int r = 0; r < 3; ++r) {
        for (int col = 0; col < 3; ++col) {
            out[r][col] = p[r][col] * s[col];
        }
    }
}

Transfer transferFromCode(int code)
{
    switch (code) {
    case 1:
    case 6:
    case 14:
    case 15:
        return Transfer::Bt709;
    case 4:
        return Transfer::Gamma22;
    case 5:
        return Transfer::Gamma28;
    case 7:
        return Transfer::Smpte240;
    case 8:
        return Transfer::Linear;
    case 16:
        return Transfer::Pq;
    case 18:
        return Transfer::Hlg;
    default:
        return Transfer::Srgb;
    }
}

Chromaticities displayP3()
{
    Chromaticities c;
    c.redX = 0.680;
    c.redY = 0.320;
    c.greenX = 0.265;
    c.greenY = 0.690;
    c.blueX = 0.150;
    c.blueY = 0.060;
    return c;
}

Chromaticities chromaticitiesFromCode(int code)
{
    Chromaticities c;  // BT.709 / sRGB
    auto set = [&](double rx, double ry, double gx, double gy, double bx, double by, double wx, double wy) {
        c.redX = rx;
        c.redY = ry;
        c.greenX = gx;
        c.greenY = gy;
        c.blueX = bx;
        c.blueY = by;
        c.whiteX = wx;
        c.whiteY = wy;
    };
    switch (code) {
    case 4:
        set(0.67, 0.33, 0.21, 0.71, 0.14, 0.08, 0.310, 0.316);
        break;
    case 5:
        set(0.64, 0.33, 0.29, 0.60, 0.15, 0.06, 0.3127, 0.3290);
        break;
    case 6:
    case 7:
        set(0.630, 0.340, 0.310, 0.595, 0.155, 0.070, 0.3127, 0.3290);
        break;
    case 8:
        set(0.681, 0.319, 0.243, 0.692, 0.145, 0.049, 0.310, 0.316);
        break;
    case 9:
        set(0.708, 0.292, 0.170, 0.797, 0.131, 0.046, 0.3127, 0.3290);
        break;
    case 11:
        set(0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.314, 0.351);
        break;
    case 12:
        c = displayP3();
        break;
    case 22:
        set(0.630, 0.340, 0.295, 0.605, 0.155, 0.077, 0.3127, 0.3290);
        break;
    default:
        break;
    }
    return c;
}

bool isSrgbEquivalent(int primariesCode, int transferCode)
{
    bool primaries = primariesCode == 1 || primariesCode == 2 || primariesCode == 0;
    bool transfer = transferCode == 13 || transferCode == 2 || transferCode == 0;
    return primaries && transfer;
}

std::vector<uint8_t> makeRgbProfile(const Chromaticities& primaries, Transfer transfer,
                                    const std::string& description)
{
    double toXyz[3][3];
    rgbToXyzMatrix(primaries, toXyz);
    double white[3] = {primaries.whiteX / primaries.whiteY, 1.0,
                       (1.0 - primaries.whiteX - primaries.whiteY) / primaries.whiteY};
    double chad[3][3];
    bradford(white, kD50, chad);
    double adapted[3][3];
    multiply3(chad, toXyz, adapted);

    struct Tag {
        const char* sig;
        std::vector<uint8_t> data;
    };
    std::vector<uint8_t> curve = paraTag(transfer);
    std::vector<Tag> tags;
    tags.push_back({"desc", mlucTag(description)});
    tags.push_back({"cprt", mlucTag("No copyright, use freely")});
    tags.push_back({"wtpt", xyzTag(kD50[0], kD50[1], kD50[2])});
    std::vector<uint8_t> chadTag;
    appendTag(chadTag, "sf32");
    append32(chadTag, 0);
    for (auto& row : chad) {
        for (double v : row) {
            append32(chadTag, s15Fixed16(v));
        }
    }
    tags.push_back({"chad", chadTag});
    tags.push_back({"rXYZ", xyzTag(adapted[0][0], adapted[1][0], adapted[2][0])});
    tags.push_back({"gXYZ", xyzTag(adapted[0][1], adapted[1][1], adapted[2][1])});
    tags.push_back({"bXYZ", xyzTag(adapted[0][2], adapted[1][2], adapted[2][2])});
    tags.push_back({"rTRC", curve});
    tags.push_back({"gTRC", curve});
    tags.push_back({"bTRC", curve});

    std::vector<uint8_t> out(128, 0);
    append32(out, static_cast<uint32_t>(tags.size()));
    size_t tableAt = out.size();
    out.resize(out.size() + tags.size() * 12, 0);
    size_t trcOffset = 0;
    size_t trcSize = 0;
    for (size_t i = 0; i < tags.size(); ++i) {
        bool sharedCurve = std::strcmp(tags[i].sig, "gTRC") == 0 || std::strcmp(tags[i].sig, "bTRC") == 0;
        size_t offset;
        size_t size;
        if (sharedCurve && trcOffset != 0) {
            offset = trcOffset;
            size = trcSize;
        } else {
            while (out.size() % 4 != 0) {
                out.push_back(0);
            }
            offset = out.size();
            size = tags[i].data.size();
            out.insert(out.end(), tags[i].data.begin(), tags[i].data.end());
            if (std::strcmp(tags[i].sig, "rTRC") == 0) {
                trcOffset = offset;
                trcSize = size;
            }
        }
        size_t entry = tableAt + i * 12;
        put32(out, entry, signature(tags[i].sig));
        put32(out, entry + 4, static_cast<uint32_t>(offset));
        put32(out, entry + 8, static_cast<uint32_t>(size));
    }
    while (out.size() % 4 != 0) {
        out.push_back(0);
    }

    put32(out, 0, static_cast<uint32_t>(out.size()));
    put32(out, 8, 0x04300000);  // version 4.3
    put32(out, 12, signature("mntr"));
    put32(out, 16, signature("RGB "));
    put32(out, 20, signature("XYZ "));
    // Creation date: a fixed one keeps the profile identical everywhere.
    const uint16_t date[6] = {2024, 1, 1, 0, 0, 0};
    for (int i = 0; i < 6; ++i) {
        out[24 + 2 * i] = static_cast<uint8_t>(date[i] >> 8);
        out[25 + 2 * i] = static_cast<uint8_t>(date[i]);
    }
    put32(out, 36, signature("acsp"));
    put32(out, 64, 0);  // perceptual
    put32(out, 68, s15Fixed16(kD50[0]));
    put32(out, 72, s15Fixed16(kD50[1]));
    put32(out, 76, s15Fixed16(kD50[2]));
    return out;
}

uint32_t iccDeclaredSize(const std::vector<uint8_t>& profile)
{
    if (profile.size() < 4) {
        return 0;
    }
    const uint8_t* p = profile.data();
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool isIccProfile(const std::vector<uint8_t>& profile)
{
    if (profile.size() < 132) {
        return false;
    }
    uint32_t declared = iccDeclaredSize(profile);
    return declared >= 132 && declared <= profile.size() && std::memcmp(profile.data() + 36, "acsp", 4) == 0;
}

std::string iccColorSpace(const std::vector<uint8_t>& profile)
{
    if (profile.size() < 132) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(profile.data() + 16), 4);
}

}  // namespace photocodec
