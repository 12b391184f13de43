// The band's arithmetic, its pictures and links, and where the shipped
// manifest puts it.
#include "module/titlebar_images.h"
#include "service/manifest_windows.h"
#include "window/titlebar_layout.h"
#include "window/titlebar_menu.h"

#include <bedrock/bas_utility_string.h>
#include <canvas/pictures.h>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using titlebar::kCaptionRowPx;

TEST(TitlebarLayout, EverythingStaysInTheCaptionRowAtEveryScale) {
    for (float scale : {1.0f, 1.25f, 1.5f, 2.0f, 3.0f}) {
        SCOPED_TRACE(scale);
        const int width = titlebar::Scaled(954, scale) - 2;
        const titlebar::Layout layout = titlebar::ComputeLayout(width, scale);
        const QRect parts[] = {layout.icon, layout.title, layout.menu, layout.minimize, layout.maximize, layout.close};
        for (const QRect& part : parts) {
            EXPECT_GE(part.top(), 0);
            EXPECT_LE(part.top() + part.height(), kCaptionRowPx) << "the sheet tip would cover it";
        }
        // Left to right, without overlap, the close button at the right edge.
        EXPECT_LE(layout.icon.right(), layout.title.left());
        EXPECT_LT(layout.title.right(), layout.menu.left());
        EXPECT_LT(layout.menu.right(), layout.minimize.left());
        EXPECT_LT(layout.minimize.right(), layout.maximize.left());
        EXPECT_LT(layout.maximize.right(), layout.close.left());
        EXPECT_EQ(layout.close.left() + layout.close.width() + titlebar::Scaled(8, scale), width);
        EXPECT_GE(layout.close.width(), 24);
    }
    // Narrower than the buttons: the name gets no room, never a negative one.
    EXPECT_EQ(titlebar::ComputeLayout(60, 1.0f).title.width(), 0);
}

TEST(TitlebarLayout, ADragFromMaximisedKeepsTheCursorInTheBar) {
    // The middle of a 1366-wide window becomes the middle of a 954-wide one.
    EXPECT_EQ(titlebar::RestoredOrigin(QPoint(683, 20), QPoint(683, 20), 1366, 954), QPoint(683 - 477, 0));
    // A press at the far right stays within the restored width.
    const QPoint origin = titlebar::RestoredOrigin(QPoint(1300, 10), QPoint(1400, 10), 1366, 954);
    EXPECT_EQ(origin, QPoint(1300 - 954, 0));
}

TEST(TitlebarLayout, CreateRectNeedsFourSensibleIntegers) {
    QRect rect;
    EXPECT_TRUE(titlebar::ParseCreateRect(R"({"rect":[0,0,952,75]})", &rect));
    EXPECT_EQ(rect, QRect(0, 0, 952, 75));
    for (const char* bad : {"", "{", "[]", R"({"rect":[0,0,952]})", R"({"rect":[0,0,"952",50]})",
                            R"({"rect":[0,0,-1,50]})", R"({"rect":[0,0,952,99999999]})", R"({"rect":[0,0,1.5,50]})"}) {
        EXPECT_FALSE(titlebar::ParseCreateRect(bad, &rect)) << bad;
    }
    EXPECT_FALSE(titlebar::ParseCreateRect(nullptr, &rect));
    EXPECT_EQ(rect, QRect(0, 0, 952, 75)) << "a refused request leaves the rectangle alone";
}

TEST(TitlebarMenu, OnlyWebPagesOpen) {
    EXPECT_EQ(WebUrl("https://www.quillmarsh.example/pix-bridge/help/").host(), "www.quillmarsh.example");
    EXPECT_TRUE(WebUrl("http://quillmarsh.example/support/").isValid());
    for (const char* bad : {"", "file:///etc/passwd", "javascript:alert(1)", "https:///no-host", "/usr/bin/xterm",
                            "quillmarsh.example/help", "https://exa mple.com/"}) {
        EXPECT_FALSE(WebUrl(bad).isValid()) << bad;
    }
}

TEST(TitlebarResources, EveryCaptionPictureLoadsAtTheButtonSizeAtBothPixelRatios) {
    for (double deviceScale : {1.0, 2.0}) {
        TitlebarImages images;
        EXPECT_EQ(images.LoadAll(BASUtilityString::Utf8ToUtf16(std::string(TITLEBAR_VERSION_DIR) + "Resources/"),
                                 deviceScale),
                  TitlebarImages::Keys().size());
        for (const std::string& key : TitlebarImages::Keys()) {
            const QImage* image = images.Find(key);
            ASSERT_NE(image, nullptr) << key;
            EXPECT_EQ(image->size(), QSize(24, 24) * deviceScale) << key;
            EXPECT_EQ(Utils::PictureSize(image), QSize(24, 24)) << key;
        }
    }
}

TEST(TitlebarManifest, TheBandAndTheWorkbenchTileTheViewAtScalesOneAndOneAndAHalf) {
    std::ifstream file(std::string(PIXBRIDGE_APP_DIR) + "/ApplicationManifest.json");
    std::stringstream text;
    text << file.rdbuf();
    rapidjson::Document manifest;
    manifest.Parse(text.str().c_str());
    ASSERT_FALSE(manifest.HasParseError());
    const rapidjson::Value& modules = manifest["manifest"]["application"]["modules"];
    auto rectOf = [&](const char* name, int width, int height, float scale) {
        for (const auto& entry : modules.GetArray()) {
            if (std::string(entry["windows:name"].GetString()) != name) continue;
            rapidjson::Document payload;
            payload.Parse(manifest::CreatePayload(entry, width, height, scale).c_str());
            const auto& r = payload["rect"];
            return QRect(r[0].GetInt(), r[1].GetInt(), r[2].GetInt(), r[3].GetInt());
        }
        ADD_FAILURE() << name << " is not in the manifest";
        return QRect();
    };
    struct Case {
        float scale;
        int width, height, band;
    };
    for (const Case& c : {Case{1.0f, 952, 612, 50}, Case{1.5f, 1429, 919, 75}}) {
        SCOPED_TRACE(c.scale);
        const QRect band = rectOf("Module.Titlebar", c.width, c.height, c.scale);
        const QRect workbench = rectOf("Module.Workbench", c.width, c.height, c.scale);
        EXPECT_EQ(band, QRect(0, 0, c.width, c.band));
        EXPECT_FALSE(band.intersects(workbench));
        EXPECT_EQ(workbench.top(), band.top() + band.height());
        EXPECT_EQ(workbench.top() + workbench.height(), c.height);
        EXPECT_EQ(workbench.width(), c.width);
    }
}

}  // namespace
