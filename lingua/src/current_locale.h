// The process-wide current locale: set by CreateLocale, read by every thread
// that translates.
#ifndef LINGUA_CURRENT_LOCALE_H
#define LINGUA_CURRENT_LOCALE_H

class wxLocale;

namespace lingua {

void SetCurrentLocale(wxLocale* locale);
wxLocale* GetCurrentLocale();
// Clears the current locale if it is `locale`, so that a released locale is
// never reached again through wxGetLocale or wxGetTranslation.
void ForgetCurrentLocale(const wxLocale* locale);

}  // namespace lingua

#endif  // LINGUA_CURRENT_LOCALE_H
