#include "module/titlebar_catalog.h"

#include <module_kit/translation_domain.h>

const char16_t kTitlebarDomain[] = u"Titlebar";

bool LoadTitlebarCatalog(const std::u16string& moduleFolder) {
    return translation_domain::Load(moduleFolder, kTitlebarDomain);
}

QString TranslateTitlebar(const char16_t* key) {
    return QString::fromStdU16String(translation_domain::Translate(key, kTitlebarDomain));
}
