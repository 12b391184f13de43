#include "locale_impl.h"

#include "current_locale.h"

#include <mutex>
#include <string_view>

namespace {

const char16_t kEmptyText[] = u"";

// Catalogue folder of each language id, in id order.
const char16_t* const kCatalogPaths[] = {
    u"zh_CN/strings.mo", u"zh_TW/strings.mo", u"de_DE/strings.mo",
    u"en_US/strings.mo", u"fr_FR/strings.mo", u"it_IT/strings.mo",
    u"es_ES/strings.mo", u"pt_PT/strings.mo", u"ja_JP/strings.mo",
};

}  // namespace

LocaleImpl::LocaleImpl(int32_t languageId) : m_languageId(languageId) {}

LocaleImpl::~LocaleImpl() = default;

const char16_t* LocaleImpl::CatalogPathOf(int32_t languageId) {
    constexpr int32_t count = static_cast<int32_t>(sizeof(kCatalogPaths) / sizeof(kCatalogPaths[0]));
    return (languageId >= 0 && languageId < count) ? kCatalogPaths[languageId] : nullptr;
}

const char16_t* LocaleImpl::Translate(const char16_t* text, const char16_t* domain) const {
    // The empty message id holds the catalogue's header, which is never a
    // translation.
    if (!text || !*text) return kEmptyText;

    std::shared_lock<std::shared_mutex> lock(m_mutex);
    const std::u16string_view defaultDomain(kDefaultDomain);
    if (domain && std::u16string_view(domain) != defaultDomain) {
        const auto own = m_domains.find(std::u16string_view(domain));
        if (own != m_domains.end()) {
            if (const char16_t* hit = own->second->LookUp(text)) return hit;
        }
    }
    const auto fallback = m_domains.find(defaultDomain);
    if (fallback != m_domains.end()) {
        if (const char16_t* hit = fallback->second->LookUp(text)) return hit;
    }
    return text;
}

int32_t LocaleImpl::GetLanguageId() const { return m_languageId; }

bool LocaleImpl::HasDomain(const std::u16string& domain) const {
    std::shared_lock<std::shared_mutex> lock(m_mutex);
    return m_domains.find(domain) != m_domains.end();
}

bool LocaleImpl::LoadCatalogFile(const char16_t* path, const char16_t* domain) {
    if (!path) return false;
    auto catalog = std::make_unique<wxMsgCatalog>();
    // The file is read and converted before the lock is taken, so readers
    // wait only for the table insert.
    if (!catalog->ReadCatalog(path)) return false;

    std::unique_lock<std::shared_mutex> lock(m_mutex);
    auto& slot = m_domains[domain ? std::u16string(domain) : std::u16string(kDefaultDomain)];
    if (slot) m_replaced.push_back(std::move(slot));
    slot = std::move(catalog);
    return true;
}

bool LocaleImpl::LoadLanguageCatalog(const char16_t* rootFolder, const char16_t* domain) {
    const std::u16string domainName = domain ? domain : kDefaultDomain;
    // The first catalogue of a domain stays.
    if (HasDomain(domainName)) return false;

    const char16_t* catalogPath = CatalogPathOf(m_languageId);
    if (!catalogPath) return false;

    // Without a root the catalogue would be looked for in whatever the
    // working folder happens to be.
    if (!rootFolder || !*rootFolder) return false;
    std::u16string path = rootFolder;
    if (path.back() != u'/') path.push_back(u'/');
    path += catalogPath;
    // Through the virtual slot, as every loader of a catalogue file does.
    return LoadCatalogFile(path.c_str(), domainName.c_str());
}

void LocaleImpl::Release() {
    lingua::ForgetCurrentLocale(this);
    delete this;
}
