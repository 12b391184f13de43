#include "module/module_catalog.h"

#include <lingua/wx_locale.h>

const char16_t kConverterDomain[] = u"Converter";

bool LoadConverterCatalog(const std::u16string& moduleFolder) {
    wxLocale* locale = wxGetLocale();
    if (locale == nullptr) return false;
    const std::u16string root = moduleFolder + u"I18n/";
    return locale->LoadLanguageCatalog(root.c_str(), kConverterDomain);
}

std::u16string TranslateConverter(const char16_t* key) {
    const char16_t* text = wxGetTranslation(key, kConverterDomain);
    return text ? std::u16string(text) : std::u16string();
}
