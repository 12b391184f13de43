// The locale interface of libLingua and the three exported translation
// functions. Texts are zero-terminated UTF-16 (char16_t); paths use "/".
#ifndef LINGUA_WX_LOCALE_H
#define LINGUA_WX_LOCALE_H

#include "lingua_export.h"

#include <cstdint>

// Language ids with a catalogue folder inside a catalogue root:
// 0 zh_CN, 1 zh_TW, 2 de_DE, 3 en_US, 4 fr_FR, 5 it_IT, 6 es_ES, 7 pt_PT,
// 8 ja_JP. Any other id is kept but has no catalogue.

// One user language and its message catalogues, one per domain. Made by
// CreateLocale, ended by Release (never by delete). The slot order of the
// virtual operations is part of the binary interface: do not reorder.
class LINGUA_EXPORT wxLocale {
public:
    wxLocale();
    wxLocale(const wxLocale& other);
    wxLocale& operator=(const wxLocale& other);

    // The translation of `text` in `domain` (null: the default domain),
    // falling back to the default domain and then to `text` itself. The
    // result is never null and is not freed by the caller; a catalogue text
    // stays valid while the locale lives.
    virtual const char16_t* Translate(const char16_t* text, const char16_t* domain) const = 0;
    virtual int32_t GetLanguageId() const = 0;
    // Loads one catalogue file into `domain` (null: the default domain),
    // replacing the catalogue the domain had. False when the file cannot be
    // used; the domain is then unchanged.
    virtual bool LoadCatalogFile(const char16_t* path, const char16_t* domain) = 0;
    // Loads `rootFolder` + "<lang>/strings.mo" of this locale's language into
    // `domain` (null: the default domain). False for a language without a
    // catalogue, an unusable file, or a domain that is already loaded (the
    // first catalogue of a domain stays).
    virtual bool LoadLanguageCatalog(const char16_t* rootFolder, const char16_t* domain) = 0;
    // Destroys the locale and its catalogues.
    virtual void Release() = 0;

protected:
    ~wxLocale() = default;
};

extern "C" {

// Makes a locale for `languageId` and makes it the current one (an earlier
// locale stays alive).
LINGUA_EXPORT wxLocale* CreateLocale(int32_t languageId);

// The locale made last by CreateLocale; null before it or after its Release.
LINGUA_EXPORT wxLocale* wxGetLocale();

// Translate of the current locale. A null or empty `text` gives an empty
// text; without a current locale `text` comes back unchanged. Never null.
LINGUA_EXPORT const char16_t* wxGetTranslation(const char16_t* text, const char16_t* domain);

}  // extern "C"

#endif  // LINGUA_WX_LOCALE_H
