#include "module/module_catalog.h"

#include <module_kit/translation_domain.h>

const char16_t kConverterDomain[] = u"Converter";

bool LoadConverterCatalog(const std::u16string& moduleFolder) {
    return translation_domain::Load(moduleFolder, kConverterDomain);
}

std::u16string TranslateConverter(const char16_t* key) { return translation_domain::Translate(key, kConverterDomain); }
