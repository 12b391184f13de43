// Text and whole-file helpers.
#ifndef AIDE_HELPER_H
#define AIDE_HELPER_H

#include <string>

namespace Helper {

std::string WStringToUtf8(const std::u16string& wide);
std::u16string Utf8ToWString(const std::string& utf8);
// The whole file, or false when it cannot be read.
bool ReadFileInMemory(const std::u16string& path, std::string& out);
// Writes the bytes atomically (temporary file, then rename).
bool WriteMemoryToFile(const std::u16string& path, const std::string& bytes);

}  // namespace Helper

#endif  // AIDE_HELPER_H
