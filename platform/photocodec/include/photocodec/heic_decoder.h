// HEIC to JPEG/PNG conversion and thumbnail extraction. Decoding runs in a
// helper process of the codec's own, so a photo that crashes or hangs the
// HEIF decoder fails alone instead of taking the program down.
#ifndef PHOTOCODEC_HEIC_DECODER_H
#define PHOTOCODEC_HEIC_DECODER_H

#include <cstdint>
#include <memory>

#if defined(PHOTOCODEC_BUILDING)
#define PHOTOCODEC_EXPORT __attribute__((visibility("default")))
#else
#define PHOTOCODEC_EXPORT
#endif

class JpegEncoder;
class PngEncoder;

class PHOTOCODEC_EXPORT HeicDecoder {
public:
    // Made and ended through these two; a decoder serves one thread at a time.
    static HeicDecoder* NewHeicDecoder();
    static void Destroy(HeicDecoder* decoder);

    // Starts the helper now, without waiting for it, so that the first
    // photo or thumbnail need not wait while it loads its decoders. A
    // helper outlives the decoder that used it and serves the next one.
    static void PrepareHelper();

    JpegEncoder* newJpegEncoder();
    void destroyJpegEncoder(JpegEncoder* encoder);
    PngEncoder* newPngEncoder();
    void destroyPngEncoder(PngEncoder* encoder);

    // What a conversion does when the destination's name is taken, whether
    // before it starts or at the very end because another conversion (of
    // this process or another) put a file there meanwhile.
    enum class NameTaken {
        Fail,            // nothing is written; the conversion fails
        NextFreeNumber,  // the file goes in as "stem (1).ext", "stem (2).ext" …,
                         // the first number free at the moment it is put in place
    };

    // Converts `source` into a new file at `destination` (UTF-16 paths).
    // True only when the complete file is in place; on failure nothing is
    // left at `destination`, and an existing file there is never replaced.
    bool convertToJpeg(JpegEncoder* encoder, const char16_t* source, const char16_t* destination,
                       int32_t quality, bool keepExif);
    bool convertToPng(PngEncoder* encoder, const char16_t* source, const char16_t* destination);
    // The same with a rule for a taken name (the two above use Fail).
    bool convertToJpeg(JpegEncoder* encoder, const char16_t* source, const char16_t* destination,
                       int32_t quality, bool keepExif, NameTaken rule);
    bool convertToPng(PngEncoder* encoder, const char16_t* source, const char16_t* destination, NameTaken rule);

    // The longer side of the photos this decoder converts from now on, in
    // pixels, 16 to 65535: larger photos are shrunk to it once they stand
    // upright (the other side in proportion), smaller ones keep their size.
    // 0, the default, keeps every photo's size. Any other value is refused:
    // false, and the setting stays as it was.
    static constexpr int32_t kMinMaxEdge = 16;
    static constexpr int32_t kMaxMaxEdge = 65535;
    bool setMaxEdge(int32_t maxEdge);

    // A batch with its photos overlapped: while one is encoded and written,
    // the next is already being decoded. Each start is answered by one
    // finishConversion(), in the order of the starts, with what the
    // convertTo... call would have returned; a start refused at once (an
    // unreadable source, an unusable destination) is answered false in its
    // turn. With kConversionsAtOnce started and unfinished, two are worked
    // on and the third goes to work the moment the oldest is done, while
    // the caller is still writing that one to disk and reporting it; more
    // wait their turn. While started conversions are unfinished, the
    // one-call conversions and thumbnails are refused.
    static constexpr int kConversionsAtOnce = 3;
    void startConvertToJpeg(JpegEncoder* encoder, const char16_t* source, const char16_t* destination,
                            int32_t quality, bool keepExif, NameTaken rule);
    void startConvertToPng(PngEncoder* encoder, const char16_t* source, const char16_t* destination, NameTaken rule);
    bool finishConversion();

    // A JPEG thumbnail that fits `imageSize` on its longer side, and the
    // photo's displayed width and height. The buffer is released with
    // FreeBuffer. Thumbnails go through the desktop's shared thumbnail
    // cache ($XDG_CACHE_HOME/thumbnails): an entry that another program or
    // an earlier run made for the photo as it is now serves without a
    // decode, a thumbnail decoded is kept there for the next time, and a
    // file that is no photo we can read is noted and not decoded again
    // until it changes.
    bool extractJpegThumbnailToBuffer(JpegEncoder* encoder, const char16_t* source, uint8_t** buffer,
                                      uint32_t* length, int32_t imageSize, int32_t* width, int32_t* height);
    static void FreeBuffer(uint8_t* buffer);

    ~HeicDecoder();
    HeicDecoder(const HeicDecoder&) = delete;
    HeicDecoder& operator=(const HeicDecoder&) = delete;

private:
    HeicDecoder();
    class Impl;
    std::unique_ptr<Impl> impl_;
};

#endif  // PHOTOCODEC_HEIC_DECODER_H
