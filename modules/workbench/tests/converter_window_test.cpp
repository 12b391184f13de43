// The window commands' arithmetic and order, with a stand-in delegate and a
// host that answers the display-scale query.
#include "module/converter_window.h"

#include <pixbridge/command_names.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

struct RecordingDelegate : ConverterWindowDelegate {
    struct Log {
        int creates = 0;
        void* parent = nullptr;
        WindowRect rect;
        std::vector<std::pair<int32_t, int32_t>> sizes;
        std::vector<std::vector<std::u16string>> drops;
    };
    explicit RecordingDelegate(Log* log) : log_(log) {}
    void CreateWindow(void* parent, const WindowRect& rect) override {
        ++log_->creates;
        log_->parent = parent;
        log_->rect = rect;
    }
    void ResizeClient(int32_t width, int32_t height) override { log_->sizes.emplace_back(width, height); }
    void AddDroppedPaths(const std::vector<std::u16string>& paths) override { log_->drops.push_back(paths); }
    Log* log_;
};

// What the stand-in host answers to LIBPLATFORM_COMMAND_GET_DPI_SCALE_PERCENT.
float* nextScale = nullptr;
int scaleQueries = 0;
void HostPost(ModuleCommand* c) {
    if (strcmp(c->command, LIBPLATFORM_COMMAND_GET_DPI_SCALE_PERCENT) == 0) {
        ++scaleQueries;
        c->result = nextScale;
        nextScale = nullptr;
    }
}

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        scaleQueries = 0;
        bus_.post = &HostPost;
        bus_.instance = &instance_;
        window_.SetBus(bus_);
        window_.SetDelegateFactory([this] { return std::make_unique<RecordingDelegate>(&log_); });
    }
    void Create(const char* json, float* scale) {
        nextScale = scale;
        std::string text = json ? json : "";
        ModuleCommand c{};
        c.command = LIBCONVERTER_COMMAND_CREATE_WINDOW;
        c.text = json ? text.data() : nullptr;
        c.window = &parent_;
        window_.HandleCreate(c);
    }
    void Resize(int32_t width, int32_t height, void* window) {
        int32_t size[2] = {width, height};
        ModuleCommand c{};
        c.command = LIBWINDOW_COMMAND_SIZE_CHANGE;
        c.window = window;
        c.data = size;
        window_.HandleSizeChange(c);
    }

    void Open(const char* json) {
        std::string text = json ? json : "";
        ModuleCommand c{};
        c.command = LIBCONVERTER_COMMAND_OPEN_FILES;
        c.text = json ? text.data() : nullptr;
        window_.HandleOpenFiles(c);
    }

    int instance_ = 0;
    int parent_ = 0;
    ModuleBus bus_;
    RecordingDelegate::Log log_;
    ConverterWindow window_;
};

TEST_F(WindowFixture, CreateTakesScaleAndRectangleAndResizeGivesTheAreaBelowTheTop) {
    Create(R"({"rect": [0, 60, 1000, 640]})", new float(1.5f));
    EXPECT_FLOAT_EQ(window_.DpiScale(), 1.5f);
    ASSERT_EQ(log_.creates, 1);
    EXPECT_EQ(log_.parent, &parent_);
    EXPECT_EQ(log_.rect.left, 0);
    EXPECT_EQ(log_.rect.top, 60);
    EXPECT_EQ(log_.rect.right, 1000);
    EXPECT_EQ(log_.rect.bottom, 700);

    Resize(1000, 700, &parent_);
    Resize(1200, 50, &parent_);  // smaller than the offset: empty, not negative
    Resize(800, 600, nullptr);   // no window: ignored
    ASSERT_EQ(log_.sizes.size(), 2u);
    EXPECT_EQ(log_.sizes[0], std::make_pair(1000, 640));
    EXPECT_EQ(log_.sizes[1], std::make_pair(1200, 0));

    Create(R"({"rect": [5, 5, 10, 10]})", nullptr);
    EXPECT_EQ(scaleQueries, 1);
    EXPECT_EQ(log_.creates, 1);
    EXPECT_EQ(window_.Rect().top, 60);
}

TEST_F(WindowFixture, AMissingOrUnusableScaleLeavesTheBaseScale) {
    Create(R"({"rect": [0, 0, 10, 10]})", nullptr);
    EXPECT_FLOAT_EQ(window_.DpiScale(), 1.0f);

    ConverterWindow other(bus_);
    nextScale = new float(std::numeric_limits<float>::quiet_NaN());
    std::string text = R"({"rect": [0, 0, 10, 10]})";
    ModuleCommand c{};
    c.command = LIBCONVERTER_COMMAND_CREATE_WINDOW;
    c.text = text.data();
    other.HandleCreate(c);
    EXPECT_FLOAT_EQ(other.DpiScale(), 1.0f);
}

TEST_F(WindowFixture, ARequestWithoutAUsableRectangleCreatesNoWindow) {
    Create("not json", new float(2.0f));
    EXPECT_TRUE(window_.Created());
    EXPECT_FLOAT_EQ(window_.DpiScale(), 2.0f);
    EXPECT_NE(window_.Delegate(), nullptr);
    EXPECT_EQ(log_.creates, 0);
    Resize(1000, 700, &parent_);
    EXPECT_TRUE(log_.sizes.empty());
}

TEST_F(WindowFixture, OpenedPathsReachTheWindowAsADropAndWaitForItWhenItIsNotThereYet) {
    Open(R"(["/photos/a.HEIC", "/photos/b.jpg"])");
    Open("not json");
    Open(R"(["relative/c.heic"])");
    EXPECT_TRUE(log_.drops.empty());
    ASSERT_EQ(window_.WaitingPaths().size(), 2u);

    Create(R"({"rect": [0, 60, 1000, 640]})", nullptr);
    ASSERT_EQ(log_.drops.size(), 1u);
    EXPECT_EQ(log_.drops[0], (std::vector<std::u16string>{u"/photos/a.HEIC", u"/photos/b.jpg"}));
    EXPECT_TRUE(window_.WaitingPaths().empty());

    Open(u8R"(["/photos/été.heic"])");
    Open("[]");
    ASSERT_EQ(log_.drops.size(), 2u);
    EXPECT_EQ(log_.drops[1], std::vector<std::u16string>{u"/photos/été.heic"});
}

TEST(OpenFilesParsing, TakesOnlyAnArrayOfAbsoluteUtf8Paths) {
    const std::pair<const char*, bool> cases[] = {
        {R"(["/a/b.heic", "/c d/e.HEIC"])", true},
        {"[]", true},
        {R"(["/a.heic", 5])", false},
        {R"(["a.heic"])", false},
        {R"([""])", false},
        {"[\"/a\\u0000b.heic\"]", false},
        {"[\"/bad\xff.heic\"]", false},
        {R"({"paths": ["/a.heic"]})", false},
        {nullptr, false},
    };
    for (const auto& [json, ok] : cases) {
        std::vector<std::u16string> paths;
        EXPECT_EQ(ConverterWindow::ParseOpenFiles(json, paths), ok) << (json ? json : "(null)");
        if (!ok) {
            EXPECT_TRUE(paths.empty());
        }
    }
}

TEST(WindowRectParsing, TakesExactlyFourIntegers) {
    struct Case {
        const char* json;
        bool ok;
        WindowRect rect;
    };
    const Case cases[] = {
        {R"({"rect": [10, 20, 300, 400]})", true, {10, 20, 310, 420}},
        {R"({"rect": [-5, 0, 5, 5], "other": 1})", true, {-5, 0, 0, 5}},
        {R"({"rect": [10, 20, 300]})", false, {}},
        {R"({"rect": [10, 20, 300, 400, 5]})", false, {}},
        {R"({"rect": [10, "20", 300, 400]})", false, {}},
        {R"({"rect": [10.5, 20, 300, 400]})", false, {}},
        {R"({"rect": [2147483647, 0, 1, 1]})", false, {}},
        {R"({"rect": {"left": 1}})", false, {}},
        {R"({})", false, {}},
        {R"([1, 2, 3, 4])", false, {}},
        {R"({"rect": [1, 2, 3, 4])", false, {}},
        {nullptr, false, {}},
    };
    for (const Case& c : cases) {
        WindowRect rect;
        EXPECT_EQ(ConverterWindow::ParseRect(c.json, rect), c.ok) << (c.json ? c.json : "(null)");
        if (!c.ok) continue;
        EXPECT_EQ(rect.left, c.rect.left);
        EXPECT_EQ(rect.top, c.rect.top);
        EXPECT_EQ(rect.right, c.rect.right);
        EXPECT_EQ(rect.bottom, c.rect.bottom);
    }
}

}  // namespace
