// The workbench's translation domain.
#ifndef WORKBENCH_MODULE_CATALOG_H
#define WORKBENCH_MODULE_CATALOG_H

#include <string>

// The domain every text of the workbench is translated in.
extern const char16_t kConverterDomain[];

// Adds the current language's "Converter" catalogue from
// <moduleFolder>I18n/ to the current locale. False when there is no locale
// or no usable catalogue; texts then show their keys.
bool LoadConverterCatalog(const std::u16string& moduleFolder);

// The translation of `key` in the "Converter" domain (the key itself when
// there is none).
std::u16string TranslateConverter(const char16_t* key);

#endif  // WORKBENCH_MODULE_CATALOG_H
