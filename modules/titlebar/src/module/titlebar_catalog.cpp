#include "module/titlebar_catalog.h"

#include <lingua/wx_locale.h>

const char16_t kTitlebarDomain[] = u"Titlebar";

bool LoadTitlebarCatalog(const std::u16string& moduleFolder) {
    wxLocale* locale = wxGetLocale();
    if (locale == nullptr) return false;
    const std::u16string root = moduleFolder + u"I18n/";
    return locale->LoadLanguageCatalog(root.c_str(), kTitlebarDomain);
}

QString TranslateTitlebar(const char16_t* key) {
    const char16_t* text = wxGetTranslation(key, kTitlebarDomain);
    return text ? QString::fromStdU16String(text) : QString();
}
