// The system hands paths over as UTF-16; the file system wants UTF-8 bytes.
#ifndef PHOTOCODEC_PATH_TEXT_H
#define PHOTOCODEC_PATH_TEXT_H

#include <optional>
#include <string>

namespace photocodec {

// Null for a null pointer, an empty text or broken UTF-16 (a lone
// surrogate): a path must never be guessed at.
std::optional<std::string> pathFromUtf16(const char16_t* text);

}  // namespace photocodec

#endif  // PHOTOCODEC_PATH_TEXT_H
