// Who the program is: names, version, languages.
#ifndef PIXBRIDGE_HOST_PRODUCT_IDENTITY_H
#define PIXBRIDGE_HOST_PRODUCT_IDENTITY_H

#include <cstdint>
#include <string>

namespace product {

constexpr const char* kBrand = "Quillmarsh";
// The product text; its vertical bars become spaces in the display name.
constexpr const char* kProductText = "Quillmarsh|Pix|Bridge";
constexpr const char* kVersion = "1.1.12";
constexpr const char* kBuildDate = "Sep 11 2023";
constexpr int32_t kInitialLanguageId = 3;

std::string DisplayName();
// The two-letter code of a language id ("cn", "tw", "de", "en", "fr", "it",
// "es", "br", "jp"), empty for any other id.
std::string LanguageCode(int32_t languageId);
// "Global_" + display name + "_" + version.
std::string SingleInstanceName();

}  // namespace product

#endif  // PIXBRIDGE_HOST_PRODUCT_IDENTITY_H
