// What the workbench finds beside its library in the runnable tree: its
// colour store, its pictures; and the host messages it sends.
#include "loaded_modules.h"
#include "module/host_messages.h"
#include "module/module_catalog.h"
#include "module/module_images.h"
#include "plugin_util.h"

#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_string.h>
#include <canvas/pictures.h>
#include <pixbridge/command_names.h>

#include <gtest/gtest.h>
#include <lingua/wx_locale.h>

#include <QSize>

#include <atomic>
#include <map>
#include <string>

namespace {

TEST(ModuleResources, TheLoadedModuleOpensItsColourStoreBesideItsLibrary) {
    ASSERT_NE(Modules().workbench, nullptr);
    BASUserDefaults* store = BASUserDefaults::GetUserDefaults("converter");
    ASSERT_NE(store, nullptr);
    EXPECT_TRUE(store->IsOk());
    EXPECT_EQ(store->FilePath(), std::string(WORKBENCH_VERSION_DIR) + "Resources/Converter.json");
    const char* keys[] = {
        "color:default:button:normal",          "color:default:button:pressed",
        "color:operator:button:background:pressed", "color:operator:button:font:pressed",
        "color:quality:trackbar:thumb",         "color:quality:trackbar:channel:highlight",
    };
    for (const char* key : keys) {
        // A fallback that no colour of the file can equal tells a missing key.
        EXPECT_NE(store->GetRGB(key, 0xFF000000u), 0xFF000000u) << key;
    }
}

TEST(ModuleResources, TheLoadedModuleAddsItsCatalogueToTheConverterDomain) {
    ASSERT_NE(Modules().workbench, nullptr);
    ASSERT_NE(wxGetLocale(), nullptr);
    ASSERT_EQ(wxGetLocale()->GetLanguageId(), kGermanLanguageId) << "a locale was made before the modules loaded";
    EXPECT_EQ(TranslateConverter(u"add-heic"), u"HEIC-Fotos hinzuf\u00fcgen");
    EXPECT_EQ(TranslateConverter(u"select-dir"), u"Ordner ausw\u00e4hlen");
    // A key the catalogue does not know shows as itself.
    EXPECT_EQ(TranslateConverter(u"no-such-key"), u"no-such-key");
    // The domain is taken: a second catalogue for it is refused.
    const std::u16string again = BASUtilityString::Utf8ToUtf16(std::string(WORKBENCH_VERSION_DIR) + "I18n/");
    EXPECT_FALSE(wxGetLocale()->LoadLanguageCatalog(again.c_str(), kConverterDomain));
}

// Each picture ships twice: at its layout size, and twice as fine for
// screens that scale up, where it covers the same layout size.
TEST(ModuleResources, EveryPictureLoadsAtTheSizeItsLayoutExpectsAtBothPixelRatios) {
    const std::map<std::string, QSize> sizes = {
        {"converting.png", {64, 64}},
        {"complete.png", {64, 64}},
        {"check-yes.png", {16, 16}},
        {"check-no.png", {16, 16}},
        {"content-photo-thumbnail.png", {48, 48}},
        {"right/on.png", {36, 20}},
        {"right/off.png", {36, 20}},
        {"operator/add-file-normal.png", {20, 20}},
        {"operator/operate-search.png", {20, 20}},
    };
    const std::u16string folder = BASUtilityString::Utf8ToUtf16(std::string(WORKBENCH_VERSION_DIR) + "Resources/");
    ModuleImages plain;
    EXPECT_EQ(plain.LoadAll(folder), 19u);
    ModuleImages images;
    EXPECT_EQ(images.LoadAll(folder, 1.5), 19u);
    for (const std::string& key : ModuleImages::Keys()) {
        const QImage* image = images.Find(key);
        ASSERT_NE(image, nullptr) << key;
        ASSERT_NE(plain.Find(key), nullptr) << key;
        EXPECT_EQ(plain.Find(key)->devicePixelRatio(), 1.0) << key;
        EXPECT_EQ(image->devicePixelRatio(), 2.0) << key << " has no @2x picture";
        EXPECT_EQ(Utils::PictureSize(image), plain.Find(key)->size()) << key;
        auto it = sizes.find(key);
        if (it != sizes.end()) {
            EXPECT_EQ(Utils::PictureSize(image), it->second) << key;
        }
    }
    // Looking up a key that is not in the table adds nothing.
    EXPECT_EQ(images.Find("operator\\add-file-normal.png"), nullptr);
    EXPECT_EQ(images.Find("converting"), nullptr);
    EXPECT_EQ(images.Count(), 19u);
}

TEST(ModuleResources, AMissingFolderLeavesEmptyEntries) {
    ModuleImages images;
    EXPECT_EQ(images.LoadAll(u"/nonexistent/workbench/Resources/"), 0u);
    EXPECT_EQ(images.Count(), 19u);
    EXPECT_TRUE(images.Contains("complete.png"));
    EXPECT_EQ(images.Find("complete.png"), nullptr);
}

// The host's side of the two message commands.
std::u16string lastText;
int64_t lastWidth = 0;
int64_t confirmAnswer = -1;  // -1: leave the record as it came
int32_t HostAlert(ModuleCommand* c) {
    lastText = c->wideText ? c->wideText : u"";
    lastWidth = c->number;
    return 0;
}
int32_t HostConfirm(ModuleCommand* c) {
    HostAlert(c);
    if (confirmAnswer >= 0) c->number = confirmAnswer;
    return 0;
}

TEST(HostMessagesOnTheBus, CarryTextAndWidthAndOnlyAnExplicitYesConfirms) {
    plugin_util::SubscribeHandler(LIBPLATFORM_COMMAND_OPEN_ALERT_MESSAGE, &HostAlert);
    plugin_util::SubscribeHandler(LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE, &HostConfirm);
    static int sender = 0;
    ModuleBus bus{&plugin_util::PostCommand, &sender};
    HostMessages messages(bus);

    messages.Alert(u"nothing-check-warning", 450);
    EXPECT_EQ(lastText, u"nothing-check-warning");
    EXPECT_EQ(lastWidth, 450);

    confirmAnswer = 1;
    EXPECT_TRUE(messages.Confirm(u"ask-you-delete-heic", 750));
    EXPECT_EQ(lastText, u"ask-you-delete-heic");
    EXPECT_EQ(lastWidth, 750);
    confirmAnswer = 0;
    EXPECT_FALSE(messages.Confirm(u"ask-you-delete-heic", 750));
    // Unanswered (as when posted off the main thread): the width comes back.
    confirmAnswer = -1;
    EXPECT_FALSE(messages.Confirm(u"ask-you-delete-heic", 750));

    HostMessages unregistered{ModuleBus{}};
    EXPECT_FALSE(unregistered.Confirm(u"x", 500));
}

}  // namespace
