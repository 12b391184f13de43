#include "product_identity.h"

#include <algorithm>

namespace product {

std::string DisplayName() {
    std::string name = kProductText;
    std::replace(name.begin(), name.end(), '|', ' ');
    return name;
}

std::string LanguageCode(int32_t languageId) {
    static const char* const codes[] = {"cn", "tw", "de", "en", "fr", "it", "es", "br", "jp"};
    return languageId >= 0 && languageId < 9 ? codes[languageId] : "";
}

std::string SingleInstanceName() { return "Global_" + DisplayName() + "_" + kVersion; }

}  // namespace product
