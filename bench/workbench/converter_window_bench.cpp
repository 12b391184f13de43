// The converter window with the real photo module, headless: how soon a big
// folder is on screen, how fast thumbnails of real phone photos arrive, how
// long one screen of the list takes to draw while scrolling, and the memory
// of 10,000 rows with thumbnails. Not a test: it prints figures.
//
//   converter_window_bench [PHOTOS_DIR]
#include "plugin_util.h"
#include "presenter/view_resources.h"
#include "presenter/vo_content_presenter.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_pool.h>
#include <canvas/dispatch_queue.h>
#include <canvas/vo_list_view.h>
#include <pixbridge/command_names.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kPhonePhotos[] = {"tifig_1_portrait.heic", "tifig_2_landscape.heic", "tifig_3_frontcam.heic",
                                     "tifig_4_city.heic",     "tifig_7_animal_farm.heic", "immich_IMG_2682.heic",
                                     "immich_samsung-one-ui-6.heic", "ph_xiaomi.heic"};

struct FolderChooser : PhotoChooser {
    std::u16string folder;
    bool ChooseFiles(const std::u16string&, const std::u16string&, std::vector<std::u16string>&) override { return false; }
    bool ChooseFolder(const std::u16string&, std::u16string& out) override {
        out = folder;
        return true;
    }
};

class QueueTarget : public QObject {
protected:
    bool event(QEvent* e) override { return DispatchQueue::RunEvent(e) || QObject::event(e); }
};

double ResidentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

double LoadAverage() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

// Waits, running the event loop, until `done` or the deadline.
bool Pump(const std::function<bool()>& done, int seconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > seconds * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// A folder of `count` photos: hard links to the phone photos, or small
// placeholder files. Links cost no disk and read like copies.
fs::path MakeFolder(const fs::path& root, const std::string& name, int count, const fs::path& photos) {
    const fs::path folder = root / name;
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        char file[64];
        std::snprintf(file, sizeof file, "IMG_%05d.heic", i);
        if (photos.empty()) {
            std::ofstream(folder / file) << std::string(512, 'x');
        } else {
            fs::create_hard_link(photos / kPhonePhotos[i % 8], folder / file);
        }
    }
    return folder;
}

struct Window {
    explicit Window(const ModuleBus& bus) : res(bus, nullptr, nullptr, 1.0f) {
        host.resize(950, 560);
        content = std::make_unique<VoContentPresenter>(&host, res, &chooser, nullptr, [this](const char* n) {
            if (std::string(n) == LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_END) thumbnailsEnded = true;
        });
        content->Create();
        content->SetVisible(true);
        content->Layout(950, 510);
    }
    QWidget host;
    ViewResources res;
    FolderChooser chooser;
    std::unique_ptr<VoContentPresenter> content;
    bool thumbnailsEnded = false;

    int RowsOnScreen() const {
        const auto range = content->List()->VisibleRange();
        return range.second - range.first + 1;
    }
    bool ScreenHasThumbnails() const {
        for (int row = 0; row < RowsOnScreen(); ++row) {
            if (!content->Model().GetThumbnail(row)) return false;
        }
        return true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path photos = argc > 1 ? fs::path(argv[1]) : fs::path(PIXBRIDGE_PHOTOS_DIR);
    VoTaskPool::Get()->Activate(5);
    QueueTarget target;
    DispatchQueue::DispatchQueueInit(&target);
    const plugin_util::ModuleRecord* workbench =
        plugin_util::LoadModule(BASUtilityString::Utf8ToUtf16(std::string(PIXBRIDGE_APP_DIR) + "/Plugins/Module.Workbench/"));
    const plugin_util::ModuleRecord* photo =
        plugin_util::LoadModule(BASUtilityString::Utf8ToUtf16(std::string(PIXBRIDGE_APP_DIR) + "/Plugins/Module.Photo/"));
    if (!workbench || !photo) {
        std::fprintf(stderr, "cannot load the modules from %s\n", PIXBRIDGE_APP_DIR);
        return 1;
    }
    const ModuleBus bus{&plugin_util::PostCommand, workbench->instance};
    const fs::path root = fs::temp_directory_path() / ("converter_window_bench_" + std::to_string(getpid()));
    std::printf("cores: %u, load average at start: %.2f\n", std::thread::hardware_concurrency(), LoadAverage());

    {
        // 1. Adding a folder of 10,000 small files until the first screen is drawn.
        const fs::path folder = MakeFolder(root, "small", 10000, fs::path());
        Window window(bus);
        window.chooser.folder = BASUtilityString::Utf8ToUtf16(folder.string());
        QElapsedTimer timer;
        timer.start();
        window.content->AddFolder();
        window.content->List()->viewport()->grab();
        std::printf("add folder of 10,000 files to the first screen drawn: %.1f ms\n", timer.nsecsElapsed() / 1e6);
        Pump([&] { return window.thumbnailsEnded; }, 300);
    }
    {
        // 2-3. 1,000 real phone photos: the first screen of thumbnails, and the rate.
        const fs::path folder = MakeFolder(root, "phone", 1000, photos);
        Window window(bus);
        window.chooser.folder = BASUtilityString::Utf8ToUtf16(folder.string());
        QElapsedTimer timer;
        timer.start();
        window.content->AddFolder();
        Pump([&] { return window.ScreenHasThumbnails(); }, 300);
        const double firstScreenMs = timer.nsecsElapsed() / 1e6;
        Pump([&] { return window.thumbnailsEnded; }, 600);
        const double allSeconds = timer.nsecsElapsed() / 1e9;
        std::printf("1,000 phone photos: first screen of thumbnails %.0f ms; all thumbnails %.2f s = %.0f a second\n",
                    firstScreenMs, allSeconds, 1000 / allSeconds);
    }
    {
        // 4-5. 10,000 rows with thumbnails: one screen per scroll step, and memory.
        const double before = ResidentMb();
        const fs::path folder = MakeFolder(root, "many", 10000, photos);
        Window window(bus);
        window.chooser.folder = BASUtilityString::Utf8ToUtf16(folder.string());
        window.content->AddFolder();
        Pump([&] { return window.thumbnailsEnded; }, 900);
        VoListView* list = window.content->List();
        QScrollBar* bar = list->verticalScrollBar();
        const int frames = 300;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < frames; ++i) {
            bar->setValue(bar->maximum() * i / frames);
            list->viewport()->grab();
        }
        std::printf("scrolling 10,000 rows with thumbnails: %.2f ms a frame (%d frames)\n",
                    timer.nsecsElapsed() / 1e6 / frames, frames);
        std::printf("resident memory with 10,000 rows and thumbnails: %.0f MB (%.0f MB before the rows)\n", ResidentMb(),
                    before);
    }
    std::printf("load average at end: %.2f\n", LoadAverage());
    fs::remove_all(root);
    VoTaskPool::Get()->Deactivate();
    return 0;
}
