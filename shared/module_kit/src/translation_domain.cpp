#include "module_kit/translation_domain.h"

#include <lingua/wx_locale.h>

namespace translation_domain {

bool Load(const std::u16string& moduleFolder, const char16_t* domain) {
    wxLocale* locale = wxGetLocale();
    if (locale == nullptr) return false;
    const std::u16string root = moduleFolder + u"I18n/";
    return locale->LoadLanguageCatalog(root.c_str(), domain);
}

std::u16string Translate(const char16_t* key, const char16_t* domain) {
    const char16_t* text = wxGetTranslation(key, domain);
    return text ? std::u16string(text) : std::u16string();
}

}  // namespace translation_domain
