// The converter window with the real photo module, headless: how soon a big
// folder is on screen, how fast thumbnails of real phone photos arrive (the
// desktop's thumbnail cache cold, warm from our own entries, and filled by a
// file manager beforehand), how long one screen of the list takes to draw
// while scrolling, and the memory of 10,000 rows with thumbnails. Not a
// test: it prints figures. The thumbnail cache is a folder of its own under
// the benchmark's scratch folder, never the user's.
//
//   converter_window_bench [PHOTOS_DIR]
#include "plugin_util.h"

#include "../photo_bench_support.h"
#include "presenter/view_resources.h"
#include "presenter/vo_content_presenter.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_pool.h>
#include <canvas/dispatch_queue.h>
#include <canvas/vo_list_view.h>
#include <pixbridge/command_names.h>

#include <photocodec/heic_decoder.h>

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The mixed set: one photo in eight (the Xiaomi one) has no HEIF preview.
const char* const kPhonePhotos[] = {"tifig_1_portrait.heic", "tifig_2_landscape.heic", "tifig_3_frontcam.heic",
                                     "tifig_4_city.heic",     "tifig_7_animal_farm.heic", "immich_IMG_2682.heic",
                                     "immich_samsung-one-ui-6.heic", "ph_xiaomi.heic"};
constexpr int kMixedKinds = 8;
constexpr int kPreviewKinds = 7;  // the first seven carry a HEIF preview

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

// Waits, running the event loop, until `done` or the deadline. The loop
// sleeps between events as the program's own does: one that spun would
// take a core from the photo module's helpers and count its own time.
bool Pump(const std::function<bool()>& done, int seconds) {
    QElapsedTimer timer;
    timer.start();
    QTimer wake;  // to look at `done` and the deadline now and then
    wake.start(5);
    while (!done()) {
        if (timer.elapsed() > seconds * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// A folder of `count` photos: hard links to the phone photos, or small
// placeholder files. Links cost no disk and read like copies.
fs::path MakeFolder(const fs::path& root, const std::string& name, int count, const fs::path& photos,
                    int kinds = kMixedKinds) {
    const fs::path folder = root / name;
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        char file[64];
        std::snprintf(file, sizeof file, "IMG_%05d.heic", i);
        if (photos.empty()) {
            std::ofstream(folder / file) << std::string(512, 'x');
        } else {
            fs::create_hard_link(photos / kPhonePhotos[i % kinds], folder / file);
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

// A PNG of `picture` with tEXt chunks after its header, written as libpng
// writes them for gdk-pixbuf (Qt alone would write compressed iTXt).
void WritePngWithText(const QImage& picture, const std::vector<std::pair<std::string, std::string>>& text,
                      const fs::path& file) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    constexpr int kAfterHeader = 8 + 25;  // signature, then IHDR with its length, type and CRC
    QByteArray chunks;
    for (const auto& [key, value] : text) {
        QByteArray body = QByteArray("tEXt") + QByteArray::fromStdString(key) + '\0' + QByteArray::fromStdString(value);
        const uint32_t length = static_cast<uint32_t>(body.size() - 4);
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(body.constData()), static_cast<uInt>(body.size())));
        const auto bigEndian = [](uint32_t v) {
            const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
            return QByteArray(bytes, 4);
        };
        chunks += bigEndian(length) + body + bigEndian(crc);
    }
    png.insert(kAfterHeader, chunks);
    std::ofstream(file, std::ios::binary).write(png.constData(), png.size());
}

// Adds the folder to a new window and waits for every thumbnail: the time
// to the first screen of thumbnails and to the last one.
struct ThumbnailRun {
    double firstScreenMs = 0;
    double allSeconds = 0;
    // Of this process and the codec's helpers: what the thumbnails cost
    // whatever else the machine is doing.
    double cpuSeconds = 0;
    double loadAverage = 0;
};

double CpuSeconds() { return photobench::cpuSeconds() + photobench::helperCpuSeconds(); }

ThumbnailRun ShowThumbnails(const ModuleBus& bus, const fs::path& folder) {
    Window window(bus);
    window.chooser.folder = BASUtilityString::Utf8ToUtf16(folder.string());
    ThumbnailRun run;
    const double cpuBefore = CpuSeconds();
    QElapsedTimer timer;
    timer.start();
    window.content->AddFolder();
    Pump([&] { return window.ScreenHasThumbnails(); }, 300);
    run.firstScreenMs = timer.nsecsElapsed() / 1e6;
    Pump([&] { return window.thumbnailsEnded; }, 600);
    run.allSeconds = timer.nsecsElapsed() / 1e9;
    run.cpuSeconds = CpuSeconds() - cpuBefore;
    run.loadAverage = LoadAverage();
    return run;
}

void PrintRun(const char* what, int count, const ThumbnailRun& run) {
    std::printf("%s: first screen of thumbnails %.0f ms; all %d thumbnails %.2f s = %.0f a second "
                "(CPU %.2f ms a thumbnail, load average %.1f)\n",
                what, run.firstScreenMs, count, run.allSeconds, count / run.allSeconds, run.cpuSeconds * 1000 / count,
                run.loadAverage);
}

// The entries a file manager made before the program ever saw the photos:
// 256-pixel PNGs in "large", named by the MD5 of each photo's URI and
// carrying its URI and modification time, as GNOME Files writes them (tEXt
// chunks, no photo dimensions). The pictures are the codec's own thumbnails
// of the phone photos.
void WriteFileManagerEntries(const fs::path& cache, const fs::path& folder, const fs::path& photos, int count) {
    std::vector<QImage> pictures;
    HeicDecoder* decoder = HeicDecoder::NewHeicDecoder();
    JpegEncoder* jpeg = decoder->newJpegEncoder();
    for (int k = 0; k < kMixedKinds; ++k) {
        const std::u16string source = BASUtilityString::Utf8ToUtf16((photos / kPhonePhotos[k]).string());
        uint8_t* buffer = nullptr;
        uint32_t length = 0;
        int32_t width = 0, height = 0;
        QImage picture;
        if (decoder->extractJpegThumbnailToBuffer(jpeg, source.c_str(), &buffer, &length, 256, &width, &height)) {
            picture = QImage::fromData(buffer, static_cast<int>(length)).convertToFormat(QImage::Format_RGB888);
        }
        HeicDecoder::FreeBuffer(buffer);
        pictures.push_back(picture.isNull() ? QImage(256, 192, QImage::Format_RGB888) : picture);
    }
    decoder->destroyJpegEncoder(jpeg);
    HeicDecoder::Destroy(decoder);

    const fs::path large = cache / "thumbnails" / "large";
    fs::create_directories(large);
    for (const fs::path& made : {cache / "thumbnails", large}) {
        fs::permissions(made, fs::perms::owner_all, fs::perm_options::replace);
    }
    for (int i = 0; i < count; ++i) {
        char file[64];
        std::snprintf(file, sizeof file, "IMG_%05d.heic", i);
        const fs::path photo = folder / file;
        struct stat info {};
        stat(photo.c_str(), &info);
        const QByteArray uri = QUrl::fromLocalFile(QString::fromStdString(photo.string())).toEncoded();
        const QByteArray name = QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png";
        const QImage& picture = pictures[static_cast<size_t>(i % kMixedKinds)];
        std::vector<std::pair<std::string, std::string>> text = {
            {"Thumb::URI", uri.toStdString()},
            {"Thumb::MTime", std::to_string(info.st_mtime)},
            {"Software", "GNOME::ThumbnailFactory"}};
        WritePngWithText(picture, text, large / name.toStdString());
    }
}

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
    const fs::path cache = root / "cache";
    fs::create_directories(cache);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
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
        // 2-5. Thumbnails of 1,000 real phone photos: the mixed set with the
        // cache cold, then again from our own entries; photos whose
        // thumbnails a file manager made; photos that all carry a preview.
        const fs::path mixed = MakeFolder(root, "phone", 1000, photos);
        PrintRun("1,000 phone photos, cache cold (mixed set)", 1000, ShowThumbnails(bus, mixed));
        PrintRun("1,000 phone photos, cache warm", 1000, ShowThumbnails(bus, mixed));
        const fs::path managed = MakeFolder(root, "managed", 1000, photos);
        WriteFileManagerEntries(cache, managed, photos, 1000);
        PrintRun("1,000 phone photos, entries made by a file manager", 1000, ShowThumbnails(bus, managed));
        const fs::path previews = MakeFolder(root, "previews", 1000, photos, kPreviewKinds);
        PrintRun("1,000 phone photos with a preview, cache cold", 1000, ShowThumbnails(bus, previews));
    }
    {
        // 6-7. 10,000 rows with thumbnails: one screen per scroll step, and memory.
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
