// A module's translation domain: its catalogues lie in the module's own
// I18n folder and are added to the host's locale under the domain's name.
#ifndef MODULE_KIT_TRANSLATION_DOMAIN_H
#define MODULE_KIT_TRANSLATION_DOMAIN_H

#include <string>

namespace translation_domain {

// Adds the current language's catalogue of `domain` from
// <moduleFolder>I18n/ to the current locale. False when there is no locale
// or no usable catalogue; texts then show their keys.
bool Load(const std::u16string& moduleFolder, const char16_t* domain);

// The translation of `key` in `domain` (the key itself when there is none).
std::u16string Translate(const char16_t* key, const char16_t* domain);

}  // namespace translation_domain

#endif  // MODULE_KIT_TRANSLATION_DOMAIN_H
