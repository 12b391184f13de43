// The exported face of libLingua: wxLocale's constructors and assignment, and the three
// translation functions.
#include "lingua/wx_locale.h"

#include "current_locale.h"
#include "locale_impl.h"

namespace {

const char16_t kEmptyText[] = u"";

}  // namespace

wxLocale::wxLocale() = default;

wxLocale::wxLocale(const wxLocale&) = default;

// The interface has no data, so there is nothing to copy.
wxLocale& wxLocale::operator=(const wxLocale&) { return *this; }

extern "C" {

wxLocale* CreateLocale(int32_t languageId) {
    // Ownership passes to the caller, who ends the locale with Release.
    auto* locale = new LocaleImpl(languageId);
    lingua::SetCurrentLocale(locale);
    return locale;
}

wxLocale* wxGetLocale() { return lingua::GetCurrentLocale(); }

const char16_t* wxGetTranslation(const char16_t* text, const char16_t* domain) {
    if (!text || !*text) return kEmptyText;
    const wxLocale* locale = lingua::GetCurrentLocale();
    if (!locale) return text;
    return locale->Translate(text, domain);
}

}  // extern "C"
