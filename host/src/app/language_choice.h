// Which of the nine interface languages to use.
#ifndef PIXBRIDGE_HOST_LANGUAGE_CHOICE_H
#define PIXBRIDGE_HOST_LANGUAGE_CHOICE_H

#include <cstdint>
#include <string>

namespace language {

// The Windows language identifier of a POSIX locale name ("zh_TW.UTF-8" ->
// 0x0404, "de_AT" -> 0x0C07, "C" -> 0x0409); unknown languages give English.
uint16_t LanguageIdentifierOfLocale(const std::string& posixLocale);
// The user's locale from LC_ALL, LC_MESSAGES, LANG (the first one set).
std::string UserLocaleName();
// Identifier -> language id: Chinese Simplified 0, other Chinese 1, German 2,
// English 3, French 4, Italian 5, Spanish 6, Portuguese 7, Japanese 8.
int32_t LanguageIdOfIdentifier(uint16_t identifier);
// The language file's text: the decimal number at its start after trimming
// white space; 0 when there is none.
int32_t LanguageIdOfFileText(const std::string& text);

}  // namespace language

#endif  // PIXBRIDGE_HOST_LANGUAGE_CHOICE_H
