// A HeicDecoder with both encoders, a scratch folder and a thumbnail cache
// of its own, for the tests that go through the public interface.
#ifndef PHOTOCODEC_CODEC_FIXTURE_H
#define PHOTOCODEC_CODEC_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "photocodec/heic_decoder.h"
#include "test_support.h"

class CodecTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Every test starts with the real helper and the normal time limit.
        ::unsetenv("PIXBRIDGE_HEIF_WORKER");
        ::unsetenv("PIXBRIDGE_HEIF_WORKER_TIMEOUT_MS");
        ::unsetenv("PIXBRIDGE_FAKE_WORKER_MODE");
        ::setenv("XDG_CACHE_HOME", cache_.path().c_str(), 1);
        decoder_ = HeicDecoder::NewHeicDecoder();
        jpeg_ = decoder_->newJpegEncoder();
        png_ = decoder_->newPngEncoder();
    }
    void TearDown() override
    {
        decoder_->destroyJpegEncoder(jpeg_);
        decoder_->destroyPngEncoder(png_);
        HeicDecoder::Destroy(decoder_);
    }

    bool toJpeg(const std::string& source, const std::string& destination, int quality = 90, bool keepExif = true)
    {
        return decoder_->convertToJpeg(jpeg_, testsupport::u16(source).c_str(), testsupport::u16(destination).c_str(),
                                       quality, keepExif);
    }
    bool toPng(const std::string& source, const std::string& destination)
    {
        return decoder_->convertToPng(png_, testsupport::u16(source).c_str(), testsupport::u16(destination).c_str());
    }
    struct Thumbnail {
        bool ok = false;
        testsupport::JpegInfo jpeg;
        int32_t width = 0;
        int32_t height = 0;
        uint32_t length = 0;
        bool bufferNull = true;
    };
    Thumbnail thumbnail(const std::string& source, int32_t size)
    {
        Thumbnail t;
        uint8_t* buffer = nullptr;
        t.ok = decoder_->extractJpegThumbnailToBuffer(jpeg_, testsupport::u16(source).c_str(), &buffer, &t.length,
                                                      size, &t.width, &t.height);
        t.bufferNull = buffer == nullptr;
        if (t.ok) {
            EXPECT_TRUE(testsupport::readJpegBytes(buffer, t.length, t.jpeg));
        }
        HeicDecoder::FreeBuffer(buffer);
        return t;
    }

    HeicDecoder* decoder_ = nullptr;
    JpegEncoder* jpeg_ = nullptr;
    PngEncoder* png_ = nullptr;
    testsupport::TempDir dir_;
    testsupport::TempDir cache_;
};

inline bool near(const testsupport::Rgb& a, const testsupport::Rgb& b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

#endif  // PHOTOCODEC_CODEC_FIXTURE_H
