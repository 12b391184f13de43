// The lines that libPhotoCodec writes to standard error:
// "[photocodec <level>] <message>".
#ifndef PIXBRIDGE_CLI_CODEC_OUTPUT_H
#define PIXBRIDGE_CLI_CODEC_OUTPUT_H

#include <string>

struct CodecLine {
    enum Kind {
        kNotCodec,  // someone else's line
        kFailure,   // why a photo could not be converted or written
        kNote,      // anything else the codec says: for the log only
    };
    Kind kind = kNotCodec;
    std::string message;  // without the "[photocodec ...] " prefix
};

CodecLine ClassifyCodecLine(const std::string& line);

// The reason inside a failure message about `source`: what follows
// "cannot convert <source>: ", or the whole message.
std::string FailureReason(const std::string& message, const std::string& source);

#endif  // PIXBRIDGE_CLI_CODEC_OUTPUT_H
