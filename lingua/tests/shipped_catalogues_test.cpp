// The catalogues built into the runnable tree: every key in every language,
// placeholders that match their keys, and the texts reached through the
// exported functions exactly as the host and the workbench load them.
#include "lingua/wx_locale.h"
#include "mo_writer.h"
#include "wx_msg_catalog.h"

#include <gtest/gtest.h>

#include <cctype>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace lingua_test;

namespace {

const char* const kLanguages[] = {"zh_CN", "zh_TW", "de_DE", "en_US", "fr_FR", "it_IT", "es_ES", "pt_PT", "ja_JP"};

const char* const kHostKeys[] = {
    "appplication-crash-warning", "open", "server-crash-warning", "ok", "cancel", "language-change-tip-%s",
    "open-folder", "failed", "finish", "[Fail] ", "loading...", "settings", "general", "language", "version",
    "more-info-visit-%s", "new-version-found-tip", "read-more-versions", "remind-me-later", "update-now",
    "update-download", "update-total", "new-version-found-%s", "is-lastest-version-%s",
    "update-failed-check-network", "downloading-update", "close-app-desc", "download-failed-check-network",
    "update-install-failed-%s", "update-check-still-running", "update-folder-unsafe-%s",
    "copyright-%d-%s", "close", "details", "module-load-failed-%s", "install-folder-unusable-%s",
    "language-save-failed-%s", "convert-finished-%d-%d",
};

const char* const kWorkbenchKeys[] = {
    "add-file", "add-folder", "delete", "add-heic", "drag-heic-here-description", "convert-heic-to-image",
    "batch-convert-description", "drag-drop-here", "heic-files-filters", "select-dir", "nothing-check-warning",
    "ask-you-delete-heic", "please-select-output-folder", "converting-heic-files", "notice", "output-format",
    "keep-exif-data", "exif-description", "quality", "jpeg-quality-percent-recommend", "output-folder",
    "open-folder", "convert", "name", "size", "dimensions", "date", "status-section-total-size-%d-%s",
    "status-section-check-size-%d-%s", "search", "convert-finishing-last-photos", "add-file-tooltip",
    "add-folder-tooltip", "delete-tooltip", "search-box-tooltip", "convert-tooltip",
    "select-all", "output-size", "output-size-original", "output-size-long-edge-%d",
};

const char* const kTitlebarKeys[] = {
    "menu", "minimize", "maximize", "restore", "close", "settings", "about", "check-for-updates", "help",
    "feedback", "support", "menu-tooltip", "close-tooltip",
};

const std::string kHostRoot = PIXBRIDGE_APP_DIR "/I18n/";
const std::string kWorkbenchRoot = PIXBRIDGE_APP_DIR "/Plugins/Module.Workbench/" PIXBRIDGE_WORKBENCH_VERSION "/I18n/";
const std::string kTitlebarRoot = PIXBRIDGE_APP_DIR "/Plugins/Module.Titlebar/" PIXBRIDGE_TITLEBAR_VERSION "/I18n/";

// The conversions of a C format text, as length modifier and letter ("d",
// "s", "lld"); flags, width and precision do not change the argument. A "%"
// that starts no valid conversion shows up as "?".
std::vector<std::string> Placeholders(const std::u16string& text) {
    static const std::string kFlags = "-+ #0'";
    std::vector<std::string> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'%') continue;
        if (i + 1 < text.size() && text[i + 1] == u'%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        auto at = [&](size_t k) { return k < text.size() && text[k] < 0x80 ? static_cast<char>(text[k]) : '\0'; };
        while (at(j) && kFlags.find(at(j)) != std::string::npos) ++j;
        while (isdigit(static_cast<unsigned char>(at(j))) || at(j) == '*') ++j;
        if (at(j) == '.') {
            ++j;
            while (isdigit(static_cast<unsigned char>(at(j))) || at(j) == '*') ++j;
        }
        std::string conversion;
        for (const char* length : {"I64", "hh", "ll", "h", "l", "L", "z", "j", "t"}) {
            const std::string l(length);
            bool match = true;
            for (size_t k = 0; k < l.size(); ++k) match = match && at(j + k) == l[k];
            if (match) {
                conversion = l;
                j += l.size();
                break;
            }
        }
        const char letter = at(j);
        if (letter && std::string("diouxXeEfFgGaAcsp").find(letter) != std::string::npos) {
            found.push_back(conversion + letter);
            i = j;
        } else {
            found.push_back("?");
        }
    }
    return found;
}

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '~';
    return out;
}

struct CatalogueKind {
    const char* name;
    std::string root;
    const char* const* keys;
    size_t keyCount;
};

std::vector<CatalogueKind> Kinds() {
    return {{"host", kHostRoot, kHostKeys, std::size(kHostKeys)},
            {"workbench", kWorkbenchRoot, kWorkbenchKeys, std::size(kWorkbenchKeys)},
            {"titlebar", kTitlebarRoot, kTitlebarKeys, std::size(kTitlebarKeys)}};
}

}  // namespace

TEST(ShippedCataloguesTest, PlaceholderParserReadsCFormats) {
    EXPECT_EQ(Placeholders(u"Total: %d files (%s)"), (std::vector<std::string>{"d", "s"}));
    EXPECT_EQ(Placeholders(u"%-5lld of %I64d, 100%% %.2f"), (std::vector<std::string>{"lld", "I64d", "f"}));
    EXPECT_EQ(Placeholders(u"100% sure"), (std::vector<std::string>{"s"})) << "printf would read it as \"% s\"";
    EXPECT_EQ(Placeholders(u"80%~90%"), (std::vector<std::string>{"?", "?"}));
}

TEST(ShippedCataloguesTest, EveryLanguageHasEveryKeyWithItsPlaceholders) {
    for (const CatalogueKind& kind : Kinds()) {
        std::map<std::u16string, std::u16string> english;
        for (const char* lang : kLanguages) {
            SCOPED_TRACE(std::string(kind.name) + " " + lang);
            wxMsgCatalog catalog;
            ASSERT_TRUE(catalog.ReadCatalog(ToU16(kind.root + lang + "/strings.mo")));

            const char16_t* header = catalog.LookUp(u"");
            ASSERT_NE(header, nullptr) << "no header entry";
            EXPECT_NE(std::u16string(header).find(u"charset=UTF-8"), std::u16string::npos);

            std::set<std::u16string> expected{u""};
            for (size_t k = 0; k < kind.keyCount; ++k) {
                const std::u16string key = ToU16(kind.keys[k]);
                expected.insert(key);
                const char16_t* text = catalog.LookUp(key.c_str());
                if (!text) {
                    ADD_FAILURE() << "missing key " << kind.keys[k];
                    continue;
                }
                const std::u16string translation(text);
                EXPECT_FALSE(translation.empty()) << kind.keys[k];
                EXPECT_EQ(Placeholders(translation), Placeholders(key))
                    << kind.keys[k] << " -> " << Utf8(translation);
                if (std::string(lang) == "en_US") english[key] = translation;
            }
            for (const auto& [id, translation] : catalog.GetTable()) {
                EXPECT_TRUE(expected.count(id)) << "unknown key " << Utf8(id);
            }
            const char16_t* fail = catalog.LookUp(u"[Fail] ");
            if (fail) {
                const std::u16string failText(fail);
                EXPECT_TRUE(!failText.empty() && failText.back() == u' ') << "\"[Fail] \" keeps its trailing space";
            }
        }
        // Sentences left in English in another language are easy to miss: no
        // text of several words may equal the English one.
        for (const char* lang : kLanguages) {
            if (std::string(lang) == "en_US") continue;
            wxMsgCatalog catalog;
            ASSERT_TRUE(catalog.ReadCatalog(ToU16(kind.root + lang + "/strings.mo")));
            for (const auto& [key, englishText] : english) {
                const char16_t* text = catalog.LookUp(key.c_str());
                if (text && englishText.find(u' ') != std::u16string::npos && englishText != u"[Failed] ") {
                    EXPECT_NE(std::u16string(text), englishText) << lang << ": " << Utf8(key) << " is still English";
                }
            }
        }
    }
}

TEST(ShippedCataloguesTest, HostAndWorkbenchTextsInEveryLanguage) {
    struct Expected {
        const char16_t* ok;
        const char16_t* cancel;
        const char16_t* convert;
        const char16_t* outputFolder;
    };
    const Expected expected[] = {
        {u"确定", u"取消", u"转换", u"输出文件夹"},
        {u"確定", u"取消", u"轉換", u"輸出資料夾"},
        {u"OK", u"Abbrechen", u"Konvertieren", u"Ausgabeordner"},
        {u"OK", u"Cancel", u"Convert", u"Output folder"},
        {u"OK", u"Annuler", u"Convertir", u"Dossier de sortie"},
        {u"OK", u"Annulla", u"Converti", u"Cartella di destinazione"},
        {u"Aceptar", u"Cancelar", u"Convertir", u"Carpeta de salida"},
        {u"OK", u"Cancelar", u"Converter", u"Pasta de saída"},
        {u"OK", u"キャンセル", u"変換", u"出力先フォルダー"},
    };
    const std::u16string hostRoot = ToU16(kHostRoot);
    const std::u16string workbenchRoot = ToU16(kWorkbenchRoot);
    for (int32_t id = 0; id < 9; ++id) {
        SCOPED_TRACE(kLanguages[id]);
        wxLocale* locale = CreateLocale(id);
        // As the host does at start-up, then the workbench when it registers.
        EXPECT_TRUE(locale->LoadLanguageCatalog(hostRoot.c_str(), nullptr));
        EXPECT_TRUE(wxGetLocale()->LoadLanguageCatalog(workbenchRoot.c_str(), u"Converter"));

        EXPECT_EQ(std::u16string(wxGetTranslation(u"ok", u"Platform")), expected[id].ok);
        EXPECT_EQ(std::u16string(wxGetTranslation(u"cancel", u"Platform")), expected[id].cancel);
        EXPECT_EQ(std::u16string(wxGetTranslation(u"convert", u"Converter")), expected[id].convert);
        EXPECT_EQ(std::u16string(wxGetTranslation(u"output-folder", u"Converter")), expected[id].outputFolder);
        // A host text asked for by the module comes from the host's catalogue.
        EXPECT_EQ(std::u16string(wxGetTranslation(u"ok", u"Converter")), expected[id].ok);
        // Module texts are not in the host's domain.
        const char16_t* moduleKey = u"convert";
        EXPECT_EQ(wxGetTranslation(moduleKey, u"Platform"), moduleKey);
        locale->Release();
    }
}
