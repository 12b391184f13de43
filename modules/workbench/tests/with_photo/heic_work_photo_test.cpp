// HeicWork against the real photo module, both loaded through the real
// loader: what the content view will see for real photos.
#include "plugin_util.h"
#include "work/heic_work.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_pool.h>
#include <bedrock/vo_task_schedular.h>

#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kPhotos = PIXBRIDGE_PHOTOS_DIR;

struct Loaded {
    void* workbench = nullptr;
    void* photo = nullptr;
};

const Loaded& Modules() {
    static const Loaded loaded = [] {
        VoTaskPool::Get()->Activate(5);
        Loaded l;
        if (auto* r = plugin_util::LoadModule(BASUtilityString::Utf8ToUtf16(std::string(PIXBRIDGE_APP_DIR) + "/Plugins/Module.Workbench/"))) {
            l.workbench = r->instance;
        }
        if (auto* r = plugin_util::LoadModule(BASUtilityString::Utf8ToUtf16(std::string(PIXBRIDGE_APP_DIR) + "/Plugins/Module.Photo/"))) {
            l.photo = r->instance;
        }
        return l;
    }();
    return loaded;
}

ModuleBus Bus() {
    ModuleBus bus;
    bus.post = &plugin_util::PostCommand;
    bus.instance = Modules().workbench;
    return bus;
}

bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(HeicWorkWithPhotoModule, ThumbnailsForThreePhotosThenTheEnd) {
    ASSERT_NE(Modules().workbench, nullptr);
    ASSERT_NE(Modules().photo, nullptr);
    struct Call { bool image; QSize size; std::u16string path; int32_t kind, width, height, index, total; };
    std::mutex mutex;
    std::vector<Call> calls;
    HeicWork work(Bus());
    const std::vector<std::string> photos = {kPhotos + "/tifig_3_frontcam.heic", kPhotos + "/lh_colors-no-alpha.heic",
                                             kPhotos + "/ph_xiaomi.heic"};
    const std::string json = "{\"heic_array\": [\"" + photos[0] + "\", \"" + photos[1] + "\", \"" + photos[2] +
                             "\"], \"image_size\": 64}";
    const std::string event = work.QueryThumbnails(
        [&](std::shared_ptr<QImage> image, const std::u16string& path, int32_t kind, int32_t w, int32_t h, int32_t index,
            int32_t total) {
            std::lock_guard<std::mutex> lock(mutex);
            calls.push_back({image != nullptr, image ? image->size() : QSize(), path, kind, w, h, index, total});
        },
        json);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return !calls.empty() && calls.back().kind == 1;
    }));
    ASSERT_TRUE(WaitUntil([&] { return VoTaskSchedular::Get()->FindTask(event) == nullptr; }));  // the task finished
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(calls.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(calls[i].kind, 2);
        EXPECT_EQ(calls[i].index, i + 1);
        EXPECT_EQ(calls[i].total, 3);
        EXPECT_TRUE(calls[i].image);
        EXPECT_LE(std::max(calls[i].size.width(), calls[i].size.height()), 64);
        EXPECT_EQ(calls[i].path, BASUtilityString::Utf8ToUtf16(photos[i]));
    }
    // The front camera photo stands upright: 2320 x 3088 as shown.
    EXPECT_EQ(calls[0].width, 2320);
    EXPECT_EQ(calls[0].height, 3088);
    EXPECT_GT(calls[0].size.height(), calls[0].size.width());
    EXPECT_EQ(calls[2].width, 2592);
    EXPECT_EQ(calls[3].path, u"");
}

TEST(HeicWorkWithPhotoModule, OneCallbackPerFileThenTheEnd) {
    ASSERT_NE(Modules().photo, nullptr);
    const fs::path out = fs::temp_directory_path() / ("workbench_convert_" + std::to_string(getpid()));
    fs::remove_all(out);
    fs::create_directories(out);
    struct Call { std::u16string path; int32_t status, kind; };
    std::mutex mutex;
    std::vector<Call> calls;
    HeicWork work(Bus());
    const std::string json = "{\"keep_exif_data\": 1, \"quality\": 80, \"heic_array\": [\"" + kPhotos +
                             "/lh_colors-no-alpha.heic\", \"" + kPhotos + "/ph_truncated.heic\", \"" + kPhotos +
                             "/ph_RGB_8__128x128.heif\"], \"output_dir\": \"" + out.string() +
                             "/\", \"format\": 0, \"device_id\": \"HEIC_WORK_UUID\", \"desc\": \"x\", \"title\": \"y\", "
                             "\"auto_close_when_finish\": 0, \"show_current_total_number\": 1}";
    work.ConvertPhotos(
        [&](const std::u16string& path, int32_t status, int32_t kind) {
            std::lock_guard<std::mutex> lock(mutex);
            calls.push_back({path, status, kind});
        },
        json);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return !calls.empty() && calls.back().kind == 1;
    }));
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].status, 1);
    EXPECT_EQ(calls[2].status, 1);
    EXPECT_EQ(calls[3].kind, 1);
    EXPECT_TRUE(fs::exists(out / "lh_colors-no-alpha.JPG"));
    EXPECT_TRUE(fs::exists(out / "ph_RGB_8__128x128.JPG"));
    // Whatever becomes of the truncated file, nothing half-written is left.
    for (const auto& entry : fs::directory_iterator(out)) {
        EXPECT_EQ(entry.path().extension(), ".JPG") << entry.path();
        EXPECT_GT(entry.file_size(), 0u) << entry.path();
    }
    fs::remove_all(out);
}

}  // namespace
