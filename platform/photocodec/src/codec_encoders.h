// The encoder objects that HeicDecoder hands out. The encoding itself runs
// in the helper process; these only mark which output a caller asked for.
#ifndef PHOTOCODEC_CODEC_ENCODERS_H
#define PHOTOCODEC_CODEC_ENCODERS_H

class JpegEncoder {
public:
    JpegEncoder() = default;
};

class PngEncoder {
public:
    PngEncoder() = default;
};

#endif  // PHOTOCODEC_CODEC_ENCODERS_H
