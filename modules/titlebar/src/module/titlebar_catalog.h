// The title bar's translation domain.
#ifndef TITLEBAR_TITLEBAR_CATALOG_H
#define TITLEBAR_TITLEBAR_CATALOG_H

#include <QString>

#include <string>

// The domain every text of the title bar is translated in.
extern const char16_t kTitlebarDomain[];

// Adds the current language's "Titlebar" catalogue from
// <moduleFolder>I18n/ to the current locale. False when there is no locale
// or no usable catalogue; texts then show their keys.
bool LoadTitlebarCatalog(const std::u16string& moduleFolder);

// The translation of `key` in the "Titlebar" domain (the key itself when
// there is none).
QString TranslateTitlebar(const char16_t* key);

#endif  // TITLEBAR_TITLEBAR_CATALOG_H
