// Adding a folder of 10,000 small fixture photos to the photo list model,
// answering the first screen of rows, searching it, and the memory each
// photo costs before its thumbnail arrives.
#include "photo/photo_list_model.h"

#include <bedrock/bas_utility_string.h>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kPhotoCount = 10000;
constexpr int kRowsOnScreen = 20;

struct FolderChooser : PhotoChooser {
    explicit FolderChooser(std::u16string f) : folder(std::move(f)) {}
    bool ChooseFiles(const std::u16string&, const std::u16string&, std::vector<std::u16string>&) override {
        return false;
    }
    bool ChooseFolder(const std::u16string&, std::u16string& chosen) override {
        chosen = folder;
        return true;
    }
    std::u16string folder;
};

struct CountingView : PhotoListView {
    void SetItemCount(int32_t count) override { rows = count; }
    void SetHeaderCheck(bool checked) override { header = checked; }
    bool GetHeaderChecked() const override { return header; }
    void RefreshHeaderCheck() override {}
    int32_t rows = 0;
    bool header = true;
};

// The fixture folder: made once per run, removed at exit.
class Fixture {
public:
    Fixture() {
        root_ = fs::temp_directory_path() / ("workbench_bench_" + std::to_string(getpid()));
        fs::create_directories(root_);
        const std::string content(512, 'h');
        char name[64];
        for (int i = 0; i < kPhotoCount; ++i) {
            snprintf(name, sizeof name, "IMG_%05d.heic", i);
            std::ofstream(root_ / name, std::ios::binary) << content;
        }
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::u16string Folder() const { return BASUtilityString::Utf8ToUtf16(root_.string()); }

private:
    fs::path root_;
};

const Fixture& Photos() {
    static Fixture fixture;
    return fixture;
}

std::unique_ptr<PhotoListModel> NewModel(FolderChooser& chooser, CountingView& view) {
    return std::make_unique<PhotoListModel>(PhotoListModel::Parts{&view, &chooser, nullptr, nullptr, 1.0f});
}

void BM_AddFolderOf10000(benchmark::State& state) {
    FolderChooser chooser(Photos().Folder());
    for (auto _ : state) {
        state.PauseTiming();
        CountingView view;
        auto model = NewModel(chooser, view);
        state.ResumeTiming();
        benchmark::DoNotOptimize(model->AddFolder());
        state.PauseTiming();
        if (view.rows != kPhotoCount) state.SkipWithError("the folder did not add every photo");
        model.reset();
        state.ResumeTiming();
    }
    state.counters["photos"] = kPhotoCount;
}
BENCHMARK(BM_AddFolderOf10000)->Unit(benchmark::kMillisecond);

void BM_FirstScreenOfRows(benchmark::State& state) {
    FolderChooser chooser(Photos().Folder());
    CountingView view;
    auto model = NewModel(chooser, view);
    model->AddFolder();
    for (auto _ : state) {
        for (int32_t row = 0; row < kRowsOnScreen; ++row) {
            for (int32_t column = 0; column < 5; ++column) benchmark::DoNotOptimize(model->RowText(row, column));
            benchmark::DoNotOptimize(model->GetCheckState(row));
            benchmark::DoNotOptimize(model->GetThumbnail(row));
        }
    }
    state.counters["rows"] = kRowsOnScreen;
}
BENCHMARK(BM_FirstScreenOfRows)->Unit(benchmark::kMicrosecond);

void BM_SearchIn10000(benchmark::State& state) {
    FolderChooser chooser(Photos().Folder());
    CountingView view;
    auto model = NewModel(chooser, view);
    model->AddFolder();
    for (auto _ : state) {
        model->Search(u"img_012");
        benchmark::DoNotOptimize(model->ShownCount());
    }
    model->Search(u"");
}
BENCHMARK(BM_SearchIn10000)->Unit(benchmark::kMillisecond);

// Heap bytes the model holds per photo once the folder is in, before any
// thumbnail: the records, their texts, the list and the path index.
void BM_MemoryPerPhoto(benchmark::State& state) {
    FolderChooser chooser(Photos().Folder());
    double perPhoto = 0;
    for (auto _ : state) {
        CountingView view;
        malloc_trim(0);
        const size_t before = mallinfo2().uordblks;
        auto model = NewModel(chooser, view);
        model->AddFolder();
        const size_t after = mallinfo2().uordblks;
        perPhoto = static_cast<double>(after - before) / kPhotoCount;
        benchmark::DoNotOptimize(model.get());
    }
    state.counters["bytes_per_photo"] = perPhoto;
}
BENCHMARK(BM_MemoryPerPhoto)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
