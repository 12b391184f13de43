#include "current_locale.h"

#include <atomic>

namespace lingua {
namespace {

// Written on the main thread at start-up and read from any thread; atomic so
// that a read never races the write.
std::atomic<wxLocale*> g_currentLocale{nullptr};

}  // namespace

void SetCurrentLocale(wxLocale* locale) { g_currentLocale.store(locale, std::memory_order_release); }

wxLocale* GetCurrentLocale() { return g_currentLocale.load(std::memory_order_acquire); }

void ForgetCurrentLocale(const wxLocale* locale) {
    wxLocale* expected = const_cast<wxLocale*>(locale);
    g_currentLocale.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

}  // namespace lingua
