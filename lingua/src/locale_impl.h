// The one implementation of wxLocale: a language id and one catalogue per
// domain, with the fallback domain -> default domain -> the caller's text.
#ifndef LINGUA_LOCALE_IMPL_H
#define LINGUA_LOCALE_IMPL_H

#include "lingua/wx_locale.h"
#include "wx_msg_catalog.h"

#include <functional>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

class LocaleImpl : public wxLocale {
public:
    // Catalogues loaded without a domain name land here.
    static constexpr const char16_t* kDefaultDomain = u"DefaultLocaleImplDomain";

    explicit LocaleImpl(int32_t languageId);
    virtual ~LocaleImpl();

    const char16_t* Translate(const char16_t* text, const char16_t* domain) const override;
    int32_t GetLanguageId() const override;
    bool LoadCatalogFile(const char16_t* path, const char16_t* domain) override;
    bool LoadLanguageCatalog(const char16_t* rootFolder, const char16_t* domain) override;
    void Release() override;

    // "<lang>/strings.mo" of a language id, or null for an id without one.
    static const char16_t* CatalogPathOf(int32_t languageId);

private:
    bool HasDomain(const std::u16string& domain) const;

    const int32_t m_languageId = 0;
    // Loading normally ends before any other thread translates; the lock
    // makes a late load safe instead of a crash in the middle of a look-up.
    mutable std::shared_mutex m_mutex;
    std::map<std::u16string, std::unique_ptr<wxMsgCatalog>, std::less<>> m_domains;
    // Catalogues replaced by a later LoadCatalogFile of the same domain. The
    // texts they handed out must stay valid while the locale lives, so they
    // are only destroyed with it.
    std::vector<std::unique_ptr<wxMsgCatalog>> m_replaced;
};

#endif  // LINGUA_LOCALE_IMPL_H
