// The host's rules with many inputs: language choice, URL and suite-file
// rules, the manifest's rectangle arithmetic, the border zones, the window
// rectangle, single instance.
#include "app/display_scale.h"
#include "app/host_settings.h"
#include "app/language_choice.h"
#include "app/single_instance.h"
#include "service/manifest_windows.h"
#include "ui/main_frame.h"
#include "ui/resize_zone.h"

#include <bedrock/bas_utility_string.h>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

TEST(Language, PosixLocalesMapToTheLanguageIds) {
    struct Case { const char* locale; uint16_t identifier; int32_t id; };
    const Case cases[] = {
        {"zh_CN.UTF-8", 0x0804, 0}, {"zh_SG", 0x1004, 1},       {"zh_TW.UTF-8", 0x0404, 1}, {"zh_HK", 0x0C04, 1},
        {"zh", 0x0804, 0},          {"de_DE.UTF-8", 0x0407, 2}, {"de_AT", 0x0C07, 2},       {"en_US.UTF-8", 0x0409, 3},
        {"C", 0x0409, 3},           {"POSIX", 0x0409, 3},       {"fr_FR@euro", 0x040C, 4},  {"fr_CA", 0x0C0C, 4},
        {"it_IT", 0x0410, 5},       {"es_ES.UTF-8", 0x0C0A, 6}, {"es_MX", 0x080A, 6},       {"pt_PT", 0x0816, 7},
        {"pt_BR", 0x0416, 7},       {"ja_JP.UTF-8", 0x0411, 8}, {"nl_NL", 0x0409, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(language::LanguageIdentifierOfLocale(c.locale), c.identifier) << c.locale;
        EXPECT_EQ(language::LanguageIdOfIdentifier(c.identifier), c.id) << c.locale;
    }
}

TEST(Language, FileTextGivesTheLeadingNumber) {
    EXPECT_EQ(language::LanguageIdOfFileText(" 8\r\n"), 8);
    EXPECT_EQ(language::LanguageIdOfFileText("\t2\v"), 2);
    EXPECT_EQ(language::LanguageIdOfFileText("5 and more"), 5);
    EXPECT_EQ(language::LanguageIdOfFileText(""), 0);
    EXPECT_EQ(language::LanguageIdOfFileText("japanese"), 0);

    const fs::path dir = fs::temp_directory_path() / ("lang_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "language.txt") << " 8\r\n";
    EXPECT_EQ(HostSettings::ChooseLanguage(U((dir / "language.txt").string())), 8);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(HostSettings::ChooseLanguage(U((dir / "missing.txt").string())), 2);  // falls back to the locale
    unsetenv("LC_ALL");
    fs::remove_all(dir);
}

TEST(Urls, LocalSubDirPlaceholder) {
    const std::string url = "https://x.example/$(kLocalSubDir)help/$(kLocalSubDir)";
    EXPECT_EQ(HostSettings::SubstituteLocalSubDir(url, 8), "https://x.example/jp/help/jp/");
    EXPECT_EQ(HostSettings::SubstituteLocalSubDir(url, 2), "https://x.example/help/");
    EXPECT_EQ(HostSettings::SubstituteLocalSubDir("https://x.example/", 8), "https://x.example/");
}

TEST(SuiteFile, PreferencesBesideTheSuiteFolder) {
    const fs::path appData = fs::temp_directory_path() / ("suite_" + std::to_string(getpid())) / "config";
    const fs::path suite = appData / "Quillmarsh/Suite";
    fs::create_directories(suite / "bin/Pix");
    const std::u16string install = U((suite / "bin/Pix").string() + "/");
    const std::u16string data = U(appData.string() + "/");
    EXPECT_EQ(HostSettings::SuitePreferencesFile(install, data), U((suite / "Preferences.json").string()));
    std::ofstream(suite / "Preferences-Recommend.json") << "{}";
    EXPECT_EQ(HostSettings::SuitePreferencesFile(install, data), U((suite / "Preferences-Recommend.json").string()));
    // Installed elsewhere: no suite file.
    EXPECT_EQ(HostSettings::SuitePreferencesFile(u"/opt/quillmarsh-pix-bridge/", data), u"");
    fs::remove_all(appData.parent_path());
}

TEST(Manifest, RectArithmetic) {
    rapidjson::Document entry;
    entry.Parse(R"({"windows:name": "M", "windows:parameters": {
        "windows:rect": {"rect": ["0", "40", "${topViewWidth}", "${topViewHeight}"], "offset": ["0", "0", "0", "-40"]},
        "windows:extra": {"mode": [1, "two"]}}})");
    EXPECT_EQ(manifest::CreatePayload(entry, 920, 560, 1.25f), R"({"rect":[0,50,920,510],"extra":{"mode":[1,"two"]}})");

    rapidjson::Document value;
    value.Parse(R"(["600", "${topViewWidth}", "12px", "abc", 7])");
    EXPECT_EQ(manifest::RectNumber(value[0], true, 920, 560, 1.5f), 900);
    EXPECT_EQ(manifest::RectNumber(value[1], true, 920, 560, 1.5f), 920);  // never scaled
    EXPECT_EQ(manifest::RectNumber(value[1], false, 920, 560, 1.5f), 0);   // left and top take no variables
    EXPECT_EQ(manifest::RectNumber(value[2], true, 920, 560, 1.0f), 12);
    EXPECT_EQ(manifest::RectNumber(value[3], true, 920, 560, 1.0f), 0);
    EXPECT_EQ(manifest::RectNumber(value[4], true, 920, 560, 1.0f), 0);
    rapidjson::Document huge;
    huge.Parse(R"(["99999999999999999999"])");
    EXPECT_EQ(manifest::RectNumber(huge[0], true, 920, 560, 2.0f), 2000000);  // clamped, no overflow

    rapidjson::Document bare;
    bare.Parse(R"({"windows:name": "M"})");
    EXPECT_EQ(manifest::CreatePayload(bare, 920, 560, 1.0f), "{}");
    rapidjson::Document shortRect;
    shortRect.Parse(R"({"windows:parameters": {"windows:rect": {"rect": ["5"]}}})");
    EXPECT_EQ(manifest::CreatePayload(shortRect, 920, 560, 1.0f), R"({"rect":[5,0,0,0]})");
}

TEST(ResizeZones, EdgeBandsWinOverCorners) {
    const QRect client(0, 0, 954, 614);
    struct Case { int x, y; ResizeZone zone; };
    const Case cases[] = {
        {2, 5, kZoneLeft},   {5, 5, kZoneTopLeft},     {951, 300, kZoneRight},     {400, 1, kZoneTop},
        {400, 612, kZoneBottom}, {948, 5, kZoneTopRight}, {5, 608, kZoneBottomLeft}, {948, 608, kZoneBottomRight},
        {400, 300, kZoneNone},  {9, 9, kZoneNone},
    };
    for (const Case& c : cases) EXPECT_EQ(HitTestZone(QPoint(c.x, c.y), client), c.zone) << c.x << "," << c.y;
    EXPECT_EQ(EdgesOfZone(kZoneBottomRight), Qt::BottomEdge | Qt::RightEdge);
}

TEST(MainWindowRect, CentredAndScaled) {
    EXPECT_EQ(CMainFrame::CentredRect(QSize(1366, 768), 1.0f), QRect(QPoint(206, 77), QPoint(1159, 690)));
    const QRect big = CMainFrame::CentredRect(QSize(1366, 768), 1.5f);
    EXPECT_EQ(big.width(), 1431);
    EXPECT_EQ(big.height(), 921);
    EXPECT_EQ(big.left(), 32);  // |1366 - 1431| / 2
}

// The "DPI" setting counts device pixels; Qt's ratio (the desktop's scale)
// already multiplies the program's own lengths, so the program's scale is
// the setting over that ratio, and without a setting the desktop decides.
TEST(DisplayScale, TheSettingCountsDevicePixelsOverQtsRatio) {
    struct Case { double stored, ratio, logicalDpi; float scale; };
    const Case cases[] = {
        {1.5, 1.0, 96, 1.5f},  {1.5, 1.25, 96, 1.2f}, {1.5, 1.5, 96, 1.0f}, {1.5, 2.0, 96, 0.75f},
        {2.0, 2.0, 96, 1.0f},  {1.0, 2.0, 96, 0.5f},  {0.0, 2.0, 96, 1.0f},  {0.0, 1.25, 96, 1.0f},
        {0.0, 1.0, 120, 1.25f},  // Qt not scaling (QT_ENABLE_HIGHDPI_SCALING=0): the program does
        {0.0, 1.0, 96, 1.0f},  {1e30, 2.0, 96, 2.0f}, {1.5, 0.0, 96, 1.5f},  // a broken ratio counts as 1
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(display::ProgramScale(c.stored, c.ratio, c.logicalDpi), c.scale)
            << c.stored << " over " << c.ratio << " at " << c.logicalDpi;
    }

    // The window that Qt makes of the rectangle: device pixels are the
    // layout pixels times the ratio, rounded as Qt rounds them. A setting of
    // 1.5 is 1431 x 921 device pixels wherever whole layout pixels reach it;
    // at ratio 2 they come in pairs, so one more.
    struct Window { double ratio; int width, height; };
    const Window windows[] = {{1.0, 1431, 921}, {1.25, 1431, 921}, {1.5, 1431, 921}, {2.0, 1432, 922}};
    for (const Window& w : windows) {
        const QRect rect = CMainFrame::CentredRect(QSize(2560, 1600), display::ProgramScale(1.5, w.ratio, 96), w.ratio);
        EXPECT_EQ(qRound(rect.width() * w.ratio), w.width) << w.ratio;
        EXPECT_EQ(qRound(rect.height() * w.ratio), w.height) << w.ratio;
    }
    // Without a setting the window keeps its 954 x 614 layout pixels at every desktop scale.
    for (double ratio : {1.0, 1.25, 1.5, 2.0}) {
        EXPECT_EQ(CMainFrame::CentredRect(QSize(2560, 1600), display::ProgramScale(0, ratio, 96), ratio).size(),
                  QSize(954, 614)) << ratio;
    }
}

TEST(SingleInstance, SameVersionOnceOtherVersionsBeside) {
    const std::string name = "Global_Test Pix_" + std::to_string(getpid());
    SingleInstance first(name + "_1.1.12");
    ASSERT_TRUE(first.IsFirst());
    SingleInstance second(name + "_1.1.12");
    EXPECT_FALSE(second.IsFirst());
    SingleInstance other(name + "_1.2.0");
    EXPECT_TRUE(other.IsFirst());
}

}  // namespace
