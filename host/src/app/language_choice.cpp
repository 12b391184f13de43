#include "language_choice.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace language {
namespace {

struct LocaleEntry {
    const char* name;   // language, or language_TERRITORY
    uint16_t identifier;
};

// Most specific first: a territory entry wins over its bare language.
const LocaleEntry kLocales[] = {
    {"zh_CN", 0x0804}, {"zh_SG", 0x1004}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_MO", 0x1404},
    {"zh", 0x0804},    {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"de", 0x0407},    {"en_GB", 0x0809},
    {"en", 0x0409},    {"fr_CA", 0x0C0C}, {"fr_BE", 0x080C}, {"fr", 0x040C},    {"it", 0x0410},
    {"es_MX", 0x080A}, {"es", 0x0C0A},    {"pt_BR", 0x0416}, {"pt", 0x0816},    {"ja", 0x0411},
};

}  // namespace

uint16_t LanguageIdentifierOfLocale(const std::string& posixLocale) {
    // "zh_TW.UTF-8@variant" -> "zh_TW"
    std::string name = posixLocale.substr(0, posixLocale.find_first_of(".@"));
    for (char& c : name) if (c == '-') c = '_';
    const std::string language = name.substr(0, name.find('_'));
    for (const LocaleEntry& entry : kLocales) {
        if (name == entry.name) return entry.identifier;
    }
    for (const LocaleEntry& entry : kLocales) {
        if (language == entry.name) return entry.identifier;
    }
    return 0x0409;
}

std::string UserLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(variable);
        if (value && *value) return value;
    }
    return "C";
}

int32_t LanguageIdOfIdentifier(uint16_t identifier) {
    const int primary = identifier & 0xFF;
    const int sublanguage = identifier >> 10;
    switch (primary) {
    case 4: return sublanguage == 2 ? 0 : 1;
    case 7: return 2;
    case 10: return 6;
    case 12: return 4;
    case 16: return 5;
    case 17: return 8;
    case 22: return 7;
    default: return 3;
    }
}

int32_t LanguageIdOfFileText(const std::string& text) {
    size_t start = 0, end = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    while (start < end && blank(text[start])) ++start;
    while (end > start && blank(text[end - 1])) --end;
    const std::string trimmed = text.substr(start, end - start);
    return static_cast<int32_t>(strtol(trimmed.c_str(), nullptr, 10));
}

}  // namespace language
