// The locale and the exported functions: language folders, domains and their
// fallback, repeated loads, the current locale, threads.
#include "lingua/wx_locale.h"
#include "mo_writer.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace lingua_test;

namespace {

const char* const kFolders[] = {"zh_CN", "zh_TW", "de_DE", "en_US", "fr_FR", "it_IT", "es_ES", "pt_PT", "ja_JP"};

// Ends a locale made by a test, whatever the test's outcome.
class LocaleHolder {
public:
    explicit LocaleHolder(int32_t languageId) : m_locale(CreateLocale(languageId)) {}
    LocaleHolder(const LocaleHolder&) = delete;
    LocaleHolder& operator=(const LocaleHolder&) = delete;
    ~LocaleHolder() {
        if (m_locale) m_locale->Release();
    }
    wxLocale* operator->() const { return m_locale; }
    wxLocale* Get() const { return m_locale; }

private:
    wxLocale* m_locale = nullptr;
};

std::u16string Text(const char16_t* text) { return text ? std::u16string(text) : u"<null>"; }

class LocaleTest : public ::testing::Test {
protected:
    // Writes <root>/<lang>/strings.mo.
    void WriteCatalogue(const TempFolder& root, const char* folder, const std::vector<MoEntry>& entries) {
        WriteFile(root.Path() / folder / "strings.mo", BuildMo(entries));
    }

    TempFolder m_host;
    TempFolder m_module;
};

}  // namespace

TEST_F(LocaleTest, EachLanguageReadsItsOwnFolder) {
    for (const char* folder : kFolders) WriteCatalogue(m_host, folder, {{"which", folder}});
    for (int32_t id = 0; id < 9; ++id) {
        LocaleHolder locale(id);
        EXPECT_EQ(locale->GetLanguageId(), id);
        ASSERT_TRUE(locale->LoadLanguageCatalog(m_host.Root().c_str(), nullptr)) << kFolders[id];
        EXPECT_EQ(Text(wxGetTranslation(u"which", u"Platform")), ToU16(kFolders[id]));
    }
}

TEST_F(LocaleTest, EnglishIsRootPlusEnUsStringsMo) {
    WriteCatalogue(m_host, "en_US", {{"ok", "OK"}});
    LocaleHolder locale(3);
    // The root is used as given; nothing but "en_US/strings.mo" is appended.
    const std::u16string missingRoot = m_host.Root() + u"en_US/";
    EXPECT_FALSE(locale->LoadLanguageCatalog(missingRoot.c_str(), nullptr));
    EXPECT_FALSE(locale->LoadLanguageCatalog(nullptr, nullptr));
    EXPECT_FALSE(locale->LoadLanguageCatalog(u"", nullptr));
    EXPECT_TRUE(locale->LoadLanguageCatalog(m_host.Root().c_str(), nullptr));
    EXPECT_EQ(Text(locale->Translate(u"ok", nullptr)), u"OK");

    // A root given without its trailing "/" still reaches the same file.
    LocaleHolder second(3);
    const std::u16string bare = ToU16(m_host.Path());
    EXPECT_TRUE(second->LoadLanguageCatalog(bare.c_str(), u"Converter"));
    EXPECT_EQ(Text(second->Translate(u"ok", u"Converter")), u"OK");
}

TEST_F(LocaleTest, LanguageWithoutCatalogueTranslatesNothing) {
    for (const char* folder : kFolders) WriteCatalogue(m_host, folder, {{"ok", "translated"}});
    // Even a file named exactly like the root is not read for such a language.
    WriteFile(m_host.Path() / "strings.mo", BuildMo({{"ok", "translated"}}));
    for (int32_t id : {9, -1, 1000}) {
        LocaleHolder locale(id);
        EXPECT_EQ(locale->GetLanguageId(), id);
        EXPECT_EQ(wxGetLocale(), locale.Get());
        EXPECT_FALSE(locale->LoadLanguageCatalog(m_host.Root().c_str(), nullptr));
        EXPECT_FALSE(locale->LoadLanguageCatalog(m_host.Root().c_str(), u"Converter"));
        const char16_t* text = u"ok";
        EXPECT_EQ(wxGetTranslation(text, u"Converter"), text);
        EXPECT_EQ(wxGetTranslation(text, nullptr), text);
    }
}

TEST_F(LocaleTest, DomainFallsBackToTheDefaultDomainThenToTheCallersText) {
    WriteCatalogue(m_host, "en_US", {{"ok", "OK"}, {"open", "Open"}});
    WriteCatalogue(m_module, "en_US", {{"open", "Open photos"}, {"convert", "Convert"}});
    LocaleHolder locale(3);
    ASSERT_TRUE(locale->LoadLanguageCatalog(m_host.Root().c_str(), nullptr));

    // Before the module's catalogue: its texts come from the default domain.
    EXPECT_EQ(Text(wxGetTranslation(u"open", u"Converter")), u"Open");
    ASSERT_TRUE(locale->LoadLanguageCatalog(m_module.Root().c_str(), u"Converter"));

    EXPECT_EQ(Text(wxGetTranslation(u"open", u"Converter")), u"Open photos");
    EXPECT_EQ(Text(wxGetTranslation(u"ok", u"Converter")), u"OK");
    // "Platform" never has a catalogue of its own.
    EXPECT_EQ(Text(wxGetTranslation(u"open", u"Platform")), u"Open");
    EXPECT_EQ(Text(wxGetTranslation(u"open", nullptr)), u"Open");
    EXPECT_EQ(Text(wxGetTranslation(u"open", u"DefaultLocaleImplDomain")), u"Open");

    const char16_t* moduleOnly = u"convert";
    EXPECT_EQ(wxGetTranslation(moduleOnly, u"Platform"), moduleOnly);
    const char16_t* nowhere = u"nowhere-to-be-found";
    EXPECT_EQ(wxGetTranslation(nowhere, u"Converter"), nowhere);
    EXPECT_EQ(locale->Translate(nowhere, nullptr), nowhere);
}

TEST_F(LocaleTest, EmptyTextIsEmptyEvenWhenTheHeaderMapsIt) {
    WriteCatalogue(m_host, "en_US", {{"", "Content-Type: text/plain; charset=UTF-8\n"}, {"ok", "OK"}});
    LocaleHolder locale(3);
    ASSERT_TRUE(locale->LoadLanguageCatalog(m_host.Root().c_str(), nullptr));
    for (const char16_t* domain : {static_cast<const char16_t*>(nullptr), u"Platform", u"Converter"}) {
        EXPECT_EQ(Text(wxGetTranslation(u"", domain)), u"");
        EXPECT_EQ(Text(wxGetTranslation(nullptr, domain)), u"");
        EXPECT_EQ(Text(locale->Translate(u"", domain)), u"");
        EXPECT_EQ(Text(locale->Translate(nullptr, domain)), u"");
    }
}

TEST_F(LocaleTest, FirstCatalogueOfADomainStays) {
    WriteCatalogue(m_host, "de_DE", {{"ok", "first"}});
    WriteCatalogue(m_module, "de_DE", {{"ok", "second"}});
    LocaleHolder locale(2);
    ASSERT_TRUE(locale->LoadLanguageCatalog(m_host.Root().c_str(), u"Converter"));
    EXPECT_FALSE(locale->LoadLanguageCatalog(m_module.Root().c_str(), u"Converter"));
    EXPECT_EQ(Text(wxGetTranslation(u"ok", u"Converter")), u"first");

    ASSERT_TRUE(locale->LoadLanguageCatalog(m_module.Root().c_str(), nullptr));
    EXPECT_FALSE(locale->LoadLanguageCatalog(m_host.Root().c_str(), u"DefaultLocaleImplDomain"));
    EXPECT_EQ(Text(wxGetTranslation(u"ok", nullptr)), u"second");
}

TEST_F(LocaleTest, FailedLoadLeavesTheDomainOpen) {
    WriteFile(m_host.Path() / "fr_FR" / "strings.mo", BuildMo({{"ok", "D'accord"}}, ByteOrder::Big));
    WriteCatalogue(m_module, "fr_FR", {{"ok", "OK"}});
    LocaleHolder locale(4);
    EXPECT_FALSE(locale->LoadLanguageCatalog(m_host.Root().c_str(), u"Converter"));
    EXPECT_TRUE(locale->LoadLanguageCatalog(m_module.Root().c_str(), u"Converter"));
    EXPECT_EQ(Text(wxGetTranslation(u"ok", u"Converter")), u"OK");
}

TEST_F(LocaleTest, ReplacedCatalogueKeepsItsTextsAlive) {
    const auto first = m_host.Path() / "first.mo";
    const auto second = m_host.Path() / "second.mo";
    WriteFile(first, BuildMo({{"ok", "first"}}));
    WriteFile(second, BuildMo({{"ok", "second"}}));
    LocaleHolder locale(3);
    ASSERT_TRUE(locale->LoadCatalogFile(ToU16(first).c_str(), u"Converter"));
    const char16_t* handedOut = wxGetTranslation(u"ok", u"Converter");

    EXPECT_FALSE(locale->LoadCatalogFile(ToU16(m_host.Path() / "missing.mo").c_str(), u"Converter"));
    EXPECT_EQ(Text(wxGetTranslation(u"ok", u"Converter")), u"first");
    ASSERT_TRUE(locale->LoadCatalogFile(ToU16(second).c_str(), u"Converter"));
    EXPECT_EQ(Text(wxGetTranslation(u"ok", u"Converter")), u"second");
    // Texts handed out earlier stay valid while the locale lives.
    EXPECT_EQ(Text(handedOut), u"first");

    EXPECT_FALSE(locale->LoadCatalogFile(nullptr, u"Converter"));
    ASSERT_TRUE(locale->LoadCatalogFile(ToU16(first).c_str(), nullptr));
    EXPECT_EQ(Text(wxGetTranslation(u"ok", u"Platform")), u"first");
}

TEST_F(LocaleTest, LastCreatedLocaleIsCurrentUntilReleased) {
    WriteCatalogue(m_host, "de_DE", {{"ok", "Deutsch"}});
    WriteCatalogue(m_host, "ja_JP", {{"ok", "日本語"}});
    wxLocale* german = CreateLocale(2);
    ASSERT_TRUE(german->LoadLanguageCatalog(m_host.Root().c_str(), nullptr));
    wxLocale* japanese = CreateLocale(8);
    ASSERT_TRUE(japanese->LoadLanguageCatalog(m_host.Root().c_str(), nullptr));
    EXPECT_EQ(wxGetLocale(), japanese);
    EXPECT_EQ(Text(wxGetTranslation(u"ok", nullptr)), u"日本語");
    // The earlier locale is no longer current but still works.
    EXPECT_EQ(Text(german->Translate(u"ok", nullptr)), u"Deutsch");

    german->Release();
    EXPECT_EQ(wxGetLocale(), japanese);
    japanese->Release();
    EXPECT_EQ(wxGetLocale(), nullptr);
    const char16_t* text = u"ok";
    EXPECT_EQ(wxGetTranslation(text, nullptr), text);
    EXPECT_EQ(Text(wxGetTranslation(u"", nullptr)), u"");
}

TEST_F(LocaleTest, ManyThreadsTranslateAtOnce) {
    std::vector<MoEntry> hostEntries, moduleEntries;
    for (int i = 0; i < 200; ++i) {
        hostEntries.push_back({"host-" + std::to_string(i), "Host " + std::to_string(i)});
        moduleEntries.push_back({"module-" + std::to_string(i), "Module " + std::to_string(i)});
    }
    WriteCatalogue(m_host, "it_IT", hostEntries);
    WriteCatalogue(m_module, "it_IT", moduleEntries);
    LocaleHolder locale(5);
    ASSERT_TRUE(locale->LoadLanguageCatalog(m_host.Root().c_str(), nullptr));
    ASSERT_TRUE(locale->LoadLanguageCatalog(m_module.Root().c_str(), u"Converter"));

    std::vector<std::u16string> hostKeys, moduleKeys, hostTexts, moduleTexts;
    for (int i = 0; i < 200; ++i) {
        hostKeys.push_back(ToU16(hostEntries[i].original));
        hostTexts.push_back(ToU16(hostEntries[i].translation));
        moduleKeys.push_back(ToU16(moduleEntries[i].original));
        moduleTexts.push_back(ToU16(moduleEntries[i].translation));
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3000; ++round) {
                const int i = (round * 7 + t) % 200;
                if (hostTexts[i] != wxGetTranslation(hostKeys[i].c_str(), u"Converter")) ++wrong;
                if (moduleTexts[i] != wxGetTranslation(moduleKeys[i].c_str(), u"Converter")) ++wrong;
                if (hostTexts[i] != wxGetTranslation(hostKeys[i].c_str(), u"Platform")) ++wrong;
                const char16_t* miss = u"missing";
                if (wxGetTranslation(miss, u"Converter") != miss) ++wrong;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(LinguaExportsTest, OnlyTheInterfaceIsVisible) {
    // The library is already loaded by this program; look only inside it.
    void* self = dlopen(PIXBRIDGE_APP_DIR "/libLingua.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(self, nullptr) << dlerror();
    for (const char* name : {"CreateLocale", "wxGetLocale", "wxGetTranslation",
                             "_ZN8wxLocaleC2Ev", "_ZN8wxLocaleC2ERKS_", "_ZN8wxLocaleaSERKS_",
                             "_ZTI8wxLocale"}) {
        EXPECT_NE(dlsym(self, name), nullptr) << name;
    }
    for (const char* name : {"_ZN10LocaleImpl7ReleaseEv", "_ZN6lingua16GetCurrentLocaleEv",
                             "_ZNK10LocaleImpl13GetLanguageIdEv"}) {
        EXPECT_EQ(dlsym(self, name), nullptr) << name;
    }
    dlclose(self);
}
