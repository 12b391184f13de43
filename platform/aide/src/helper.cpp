#include "aide/helper.h"

#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>

namespace Helper {

std::string WStringToUtf8(const std::u16string& wide) { return BASUtilityString::Utf16ToUtf8(wide); }

std::u16string Utf8ToWString(const std::string& utf8) { return BASUtilityString::Utf8ToUtf16(utf8); }

bool ReadFileInMemory(const std::u16string& path, std::string& out) {
    return BASUtilityFile::ReadWholeFile(WStringToUtf8(path), out);
}

bool WriteMemoryToFile(const std::u16string& path, const std::string& bytes) {
    return BASUtilityFile::WriteFileAtomically(WStringToUtf8(path), bytes);
}

}  // namespace Helper
