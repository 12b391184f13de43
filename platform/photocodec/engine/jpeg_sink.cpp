#include "jpeg_sink.h"

#include <cstdlib>
#include <cstring>

#include "color_profile.h"
#include "jpeg_errors.h"

namespace photocodec {

namespace {

const uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
const char kXmpId[] = "http://ns.adobe.com/xap/1.0/";  // and its terminating zero

}  // namespace

// Every libjpeg call that can fail sits alone in a function of its own
// (see jpeg_errors.h).
class JpegSink::Codec {
public:
    Codec() { info.err = useJpegErrors(errors); }
    ~Codec()
    {
        if (created) {
            jpeg_destroy_compress(&info);
        }
        std::free(memory);
    }

    bool create()
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        jpeg_create_compress(&info);
        created = true;
        return true;
    }

    struct Setup {
        FILE* file;
        uint32_t width;
        uint32_t height;
        int components;
        J_COLOR_SPACE inSpace;
        J_COLOR_SPACE jpegSpace;
        int lumaH;
        int lumaV;
        bool raw;
        int quality;
        bool jfif;
        const uint8_t* exif;
        size_t exifSize;
        const uint8_t* xmp;
        size_t xmpSize;
        const uint8_t* icc;
        size_t iccSize;
    };

    bool start(const Setup& s)
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        if (s.file != nullptr) {
            jpeg_stdio_dest(&info, s.file);
        } else {
            jpeg_mem_dest(&info, &memory, &memorySize);
        }
        info.image_width = s.width;
        info.image_height = s.height;
        info.input_components = s.components;
        info.in_color_space = s.inSpace;
        jpeg_set_defaults(&info);
        jpeg_set_colorspace(&info, s.jpegSpace);
        jpeg_set_quality(&info, s.quality, TRUE);
        info.dct_method = JDCT_ISLOW;
        info.write_JFIF_header = s.jfif ? TRUE : FALSE;
        if (s.components == 3) {
            info.comp_info[0].h_samp_factor = s.lumaH;
            info.comp_info[0].v_samp_factor = s.lumaV;
            info.comp_info[1].h_samp_factor = 1;
            info.comp_info[1].v_samp_factor = 1;
            info.comp_info[2].h_samp_factor = 1;
            info.comp_info[2].v_samp_factor = 1;
        }
        info.raw_data_in = s.raw ? TRUE : FALSE;
        jpeg_start_compress(&info, TRUE);
        if (s.exifSize > 0) {
            jpeg_write_marker(&info, JPEG_APP0 + 1, s.exif, static_cast<unsigned int>(s.exifSize));
        }
        if (s.xmpSize > 0) {
            jpeg_write_marker(&info, JPEG_APP0 + 1, s.xmp, static_cast<unsigned int>(s.xmpSize));
        }
        if (s.iccSize > 0) {
            jpeg_write_icc_profile(&info, s.icc, static_cast<unsigned int>(s.iccSize));
        }
        return true;
    }

    bool writeRaw(JSAMPIMAGE planes, JDIMENSION lines)
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        return jpeg_write_raw_data(&info, planes, lines) == lines;
    }

    bool writeScanlines(JSAMPARRAY rows, JDIMENSION count)
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        return allLines(count,
                        [&](JDIMENSION done) { return jpeg_write_scanlines(&info, rows + done, count - done); });
    }

    bool finish()
    {
        if (setjmp(errors.jump)) {
            return false;
        }
        jpeg_finish_compress(&info);
        return true;
    }

    std::string message() const { return jpegErrorText(errors, "the JPEG encoder failed"); }

    jpeg_compress_struct info{};
    JpegErrors errors;
    bool created = false;
    unsigned char* memory = nullptr;
    unsigned long memorySize = 0;
    std::vector<JSAMPROW> rows[3];
    std::vector<uint8_t> exifSegment;
    std::vector<uint8_t> xmpSegment;
};

JpegSink::JpegSink(FILE* file, const Options& options, PhotoMetadata metadata)
    : file_(file), options_(options), metadata_(std::move(metadata)), codec_(std::make_unique<Codec>())
{
}

JpegSink::~JpegSink() = default;

bool JpegSink::begin(uint32_t width, uint32_t height, const PixelFormat& format, std::string& error)
{
    if (format.kind != PixelKind::YCbCr && format.kind != PixelKind::Gray && format.kind != PixelKind::Rgb) {
        error = "JPEG holds no transparency";
        return false;
    }
    if (width == 0 || height == 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) {
        error = "the image is too large for JPEG (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return false;
    }
    format_ = format;
    width_ = width;
    height_ = height;
    raw_ = format.kind == PixelKind::YCbCr;
    // The profile must describe the kind of colour the pixels are.
    if (!metadata_.iccProfile.empty() &&
        iccColorSpace(metadata_.iccProfile) != (format.kind == PixelKind::Gray ? "GRAY" : "RGB ")) {
        metadata_.iccProfile.clear();
    }
    if (!codec_->create()) {
        error = codec_->message();
        return false;
    }

    if (!metadata_.exifTiff.empty()) {
        codec_->exifSegment.assign(kExifId, kExifId + sizeof(kExifId));
        codec_->exifSegment.insert(codec_->exifSegment.end(), metadata_.exifTiff.begin(), metadata_.exifTiff.end());
    }
    if (!metadata_.xmp.empty()) {
        codec_->xmpSegment.assign(kXmpId, kXmpId + sizeof(kXmpId));
        codec_->xmpSegment.insert(codec_->xmpSegment.end(), metadata_.xmp.begin(), metadata_.xmp.end());
    }

    Codec::Setup setup{};
    setup.file = file_;
    setup.width = width;
    setup.height = height;
    setup.quality = options_.quality;
    setup.raw = raw_;
    // A camera JPEG starts with its EXIF segment; JFIF only without one.
    setup.jfif = codec_->exifSegment.empty();
    setup.exif = codec_->exifSegment.data();
    setup.exifSize = codec_->exifSegment.size();
    setup.xmp = codec_->xmpSegment.data();
    setup.xmpSize = codec_->xmpSegment.size();
    setup.icc = metadata_.iccProfile.data();
    setup.iccSize = metadata_.iccProfile.size();
    switch (format.kind) {
    case PixelKind::YCbCr:
        setup.components = 3;
        setup.inSpace = JCS_YCbCr;
        setup.jpegSpace = JCS_YCbCr;
        setup.lumaH = format.chromaX;
        setup.lumaV = format.chromaY;
        break;
    case PixelKind::Gray:
        setup.components = 1;
        setup.inSpace = JCS_GRAYSCALE;
        setup.jpegSpace = JCS_GRAYSCALE;
        setup.lumaH = 1;
        setup.lumaV = 1;
        break;
    default:
        setup.components = 3;
        setup.inSpace = JCS_RGB;
        setup.jpegSpace = JCS_YCbCr;
        setup.lumaH = options_.fullChroma ? 1 : 2;
        setup.lumaV = options_.fullChroma ? 1 : 2;
        break;
    }
    if (!codec_->start(setup)) {
        error = codec_->message();
        return false;
    }

    if (raw_) {
        mcuRows_ = 8u * format.chromaY;
        uint32_t mcuWidth = 8u * format.chromaX;
        paddedWidth_.assign(3, 0);
        paddedWidth_[0] = (width + mcuWidth - 1) / mcuWidth * mcuWidth;
        paddedWidth_[1] = paddedWidth_[0] / format.chromaX;
        paddedWidth_[2] = paddedWidth_[1];
        staging_.resize(3);
        for (int p = 0; p < 3; ++p) {
            uint32_t rows = p == 0 ? mcuRows_ : 8u;
            staging_[static_cast<size_t>(p)].assign(static_cast<size_t>(rows) * paddedWidth_[static_cast<size_t>(p)], 0);
            codec_->rows[p].resize(rows);
        }
    }
    return true;
}

bool JpegSink::writeRawRows(Band& band, uint32_t first, uint32_t count, std::string& error)
{
    // `count` is one whole MCU row taken straight from the band.
    JSAMPARRAY planes[3];
    for (int p = 0; p < 3; ++p) {
        const int step = format_.stepY(p);
        const PlaneView& view = band.planes[static_cast<size_t>(p)];
        uint32_t rows = count / static_cast<uint32_t>(step);
        for (uint32_t r = 0; r < rows; ++r) {
            codec_->rows[p][r] = view.row(first / static_cast<uint32_t>(step) + r);
        }
        planes[p] = codec_->rows[p].data();
    }
    if (!codec_->writeRaw(planes, count)) {
        error = codec_->message();
        return false;
    }
    rowsWritten_ += count;
    return true;
}

bool JpegSink::flushStaging(bool final, std::string& error)
{
    JSAMPARRAY planes[3];
    for (int p = 0; p < 3; ++p) {
        const uint32_t step = static_cast<uint32_t>(format_.stepY(p));
        const uint32_t rows = p == 0 ? mcuRows_ : 8u;
        const uint32_t have = (stagedRows_ + step - 1) / step;
        const size_t width = paddedWidth_[static_cast<size_t>(p)];
        uint8_t* base = staging_[static_cast<size_t>(p)].data();
        for (uint32_t r = 0; r < rows; ++r) {
            // Past the last row of the image libjpeg still wants a full MCU
            // row: repeat the last one.
            uint32_t source = r < have ? r : (have > 0 ? have - 1 : 0);
            codec_->rows[p][r] = base + static_cast<size_t>(source) * width;
        }
        planes[p] = codec_->rows[p].data();
    }
    if (!codec_->writeRaw(planes, mcuRows_)) {
        error = codec_->message();
        return false;
    }
    rowsWritten_ += final ? stagedRows_ : mcuRows_;
    stagedRows_ = 0;
    return true;
}

bool JpegSink::consume(Band& band, std::string& error)
{
    if (!raw_) {
        std::vector<JSAMPROW>& rows = codec_->rows[0];
        rows.resize(band.height);
        for (uint32_t r = 0; r < band.height; ++r) {
            rows[r] = band.planes[0].row(r);
        }
        if (!codec_->writeScanlines(rows.data(), band.height)) {
            error = codec_->message();
            return false;
        }
        rowsWritten_ += band.height;
        return true;
    }

    // libjpeg reads raw rows up to the MCU edge: fill the padding with the
    // last real sample, which also keeps the edge blocks cheap to code.
    for (int p = 0; p < 3; ++p) {
        const PlaneView& view = band.planes[static_cast<size_t>(p)];
        const size_t padded = paddedWidth_[static_cast<size_t>(p)];
        if (view.width == 0 || padded <= view.width) {
            continue;
        }
        for (uint32_t r = 0; r < view.height; ++r) {
            uint8_t* row = view.row(r);
            std::memset(row + view.width, row[view.width - 1], padded - view.width);
        }
    }

    uint32_t at = 0;
    auto stage = [&](uint32_t count) {
        for (int p = 0; p < 3; ++p) {
            const uint32_t step = static_cast<uint32_t>(format_.stepY(p));
            const PlaneView& view = band.planes[static_cast<size_t>(p)];
            const size_t width = paddedWidth_[static_cast<size_t>(p)];
            const uint32_t firstOut = stagedRows_ / step;
            const uint32_t firstIn = at / step;
            const uint32_t rows = (at + count + step - 1) / step - firstIn;
            for (uint32_t r = 0; r < rows && firstIn + r < view.height; ++r) {
                std::memcpy(staging_[static_cast<size_t>(p)].data() + (firstOut + r) * width, view.row(firstIn + r),
                            width);
            }
        }
        stagedRows_ += count;
        at += count;
    };

    if (stagedRows_ > 0) {
        uint32_t take = std::min(mcuRows_ - stagedRows_, band.height);
        stage(take);
        if (stagedRows_ == mcuRows_ && !flushStaging(false, error)) {
            return false;
        }
    }
    while (band.height - at >= mcuRows_) {
        if (!writeRawRows(band, at, mcuRows_, error)) {
            return false;
        }
        at += mcuRows_;
    }
    if (at < band.height) {
        stage(band.height - at);
    }
    return true;
}

bool JpegSink::finish(std::string& error)
{
    if (raw_ && stagedRows_ > 0 && !flushStaging(true, error)) {
        return false;
    }
    if (rowsWritten_ != height_) {
        error = "the encoder was given " + std::to_string(rowsWritten_) + " of " + std::to_string(height_) + " rows";
        return false;
    }
    if (!codec_->finish()) {
        error = codec_->message();
        return false;
    }
    return true;
}

std::vector<uint8_t> JpegSink::takeBytes()
{
    std::vector<uint8_t> bytes;
    if (codec_->memory != nullptr) {
        bytes.assign(codec_->memory, codec_->memory + codec_->memorySize);
    }
    return bytes;
}

}  // namespace photocodec
