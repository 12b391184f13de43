// The photo list model with stand-ins for the list view, the dialogs and
// the content view, over real files in a fresh temporary folder.
#include "module/module_catalog.h"
#include "photo/photo_list_model.h"

#include <bedrock/bas_utility_string.h>

#include <gtest/gtest.h>

#include <QImage>

#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::u16string W(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

struct FakeListView : PhotoListView {
    void SetItemCount(int32_t count) override { itemCount = count; }
    void SetHeaderCheck(bool checked) override { header = checked; }
    bool GetHeaderChecked() const override { return header; }
    void RefreshHeaderCheck() override { ++headerRefreshes; }
    int32_t itemCount = 0;
    bool header = true;
    int headerRefreshes = 0;
};

struct FakeChooser : PhotoChooser {
    bool ChooseFiles(const std::u16string& description, const std::u16string& pattern,
                     std::vector<std::u16string>& paths) override {
        filesPattern = pattern;
        if (!filesChosen) return false;
        paths = files;
        return true;
    }
    bool ChooseFolder(const std::u16string& title, std::u16string& chosen) override {
        folderTitle = title;
        if (folder.empty()) return false;
        chosen = folder;
        return true;
    }
    bool filesChosen = true;
    std::vector<std::u16string> files;
    std::u16string folder;
    std::u16string filesPattern, folderTitle;
};

struct FakeAsker : PhotoAsker {
    void Alert(const std::u16string& message, int32_t widthPx) override { alerts.emplace_back(message, widthPx); }
    bool Confirm(const std::u16string& question, int32_t widthPx) override {
        questions.emplace_back(question, widthPx);
        return answer;
    }
    bool answer = true;
    std::vector<std::pair<std::u16string, int32_t>> alerts, questions;
};

struct RecordingListener : PhotoListListener {
    void PhotoTotalsChanged(const PhotoTotals& t) override {
        ++totalsChanges;
        last = t;
    }
    void ThumbnailsWanted(const std::vector<std::string>& paths) override { requests.push_back(paths); }
    void FolderLoadBegins() override { ++folderBegins; }
    void ShownListEmptied() override { ++emptied; }
    int totalsChanges = 0, folderBegins = 0, emptied = 0;
    PhotoTotals last;
    std::vector<std::vector<std::string>> requests;
};

time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return mktime(&t);
}

class PhotoListTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("workbench_model_" + std::to_string(getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        model_ = std::make_unique<PhotoListModel>(PhotoListModel::Parts{&view_, &chooser_, &asker_, &listener_, 1.5f});
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(root_, fs::perms::owner_all, ec);
        fs::remove_all(root_, ec);
    }

    // A small file of `bytes` bytes at `relative`; its path with "/".
    std::u16string Make(const std::string& relative, size_t bytes = 100, time_t modified = 0) {
        const fs::path path = root_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'h');
        if (modified) {
            struct timeval times[2] = {{modified, 0}, {modified, 0}};
            utimes(path.c_str(), times);
        }
        return W(path.string());
    }
    std::u16string Folder(const std::string& relative = "") const {
        return W((root_ / relative).string() + (relative.empty() ? "" : "/"));
    }

    // The totals as the shown rows say they should be.
    PhotoTotals Recount() const {
        PhotoTotals t;
        for (int32_t row = 0; row < model_->ShownCount(); ++row) {
            auto photo = model_->ShownPhoto(row);
            ++t.shownCount;
            t.shownBytes += photo->sizeBytes;
            if (photo->checked) {
                ++t.checkedCount;
                t.checkedBytes += photo->sizeBytes;
            }
        }
        return t;
    }

    fs::path root_;
    FakeListView view_;
    FakeChooser chooser_;
    FakeAsker asker_;
    RecordingListener listener_;
    std::unique_ptr<PhotoListModel> model_;
};

TEST_F(PhotoListTest, DroppedPathsAddOnlyNewHeicFiles) {
    const auto a = Make("A.HEIC", 1000);
    const auto b = Make("b.heic", 2048);
    const auto c = Make("c.jpg", 10);
    EXPECT_EQ(model_->AddDroppedPaths({a, b, c}), 2);
    EXPECT_EQ(view_.itemCount, 2);
    ASSERT_EQ(listener_.requests.size(), 1u);
    EXPECT_EQ(listener_.requests[0].size(), 2u);
    EXPECT_EQ(listener_.last, (PhotoTotals{2, 3048, 2, 3048}));  // the status line follows a drop too

    EXPECT_EQ(model_->RowText(0, PhotoListModel::kColumnNumber), u"1");
    EXPECT_EQ(model_->RowText(0, PhotoListModel::kColumnName), u"A.HEIC");
    EXPECT_EQ(model_->RowText(1, PhotoListModel::kColumnSize), u"2.00 KB");
    EXPECT_EQ(model_->RowText(1, PhotoListModel::kColumnDimensions), u"");
    EXPECT_EQ(model_->RowText(2, PhotoListModel::kColumnName), u"");
    EXPECT_EQ(model_->RowText(-1, PhotoListModel::kColumnName), u"");
    EXPECT_EQ(model_->RowText(0, 7), u"");

    EXPECT_EQ(model_->AddDroppedPaths({a, b, c}), 0);
    EXPECT_EQ(listener_.requests.size(), 1u);
    EXPECT_EQ(model_->FullList().size(), 2u);
}

TEST_F(PhotoListTest, AFolderOfListedPhotosAsksForTheirThumbnailsAgain) {
    Make("set/x.heic");
    Make("set/y.HEIC");
    Make("set/notes.txt");
    Make("set/inner/z.heic");
    fs::create_directories(root_ / "set" / "looks-like.heic");
    chooser_.folder = Folder("set").substr(0, Folder("set").size() - 1);  // without the trailing "/"

    EXPECT_EQ(model_->AddFolder(), 2);
    EXPECT_EQ(chooser_.folderTitle, TranslateConverter(u"select-dir"));
    ASSERT_EQ(listener_.requests.size(), 1u);
    EXPECT_EQ(listener_.requests[0],
              (std::vector<std::string>{(root_ / "set/x.heic").string(), (root_ / "set/y.HEIC").string()}));
    EXPECT_EQ(listener_.folderBegins, 1);

    EXPECT_EQ(model_->AddFolder(), 0);
    EXPECT_EQ(model_->FullList().size(), 2u);
    ASSERT_EQ(listener_.requests.size(), 2u);
    EXPECT_EQ(listener_.requests[1].size(), 2u);
    EXPECT_EQ(listener_.folderBegins, 2);

    auto image = std::make_shared<QImage>(6, 4, QImage::Format_RGB32);
    auto photo = model_->ApplyThumbnail(W((root_ / "set/x.heic").string()), image, 4032, 3024);
    ASSERT_NE(photo, nullptr);
    EXPECT_EQ(model_->RowText(0, PhotoListModel::kColumnDimensions), u"4032x3024");
    EXPECT_EQ(model_->GetThumbnail(0), image);
    EXPECT_EQ(model_->GetThumbnail(1), nullptr);
    EXPECT_EQ(model_->GetThumbnail(5), nullptr);
    EXPECT_EQ(model_->ApplyThumbnail(u"/elsewhere/x.heic", image, 1, 1), nullptr);

    chooser_.folder = Folder("empty-or-missing");
    EXPECT_EQ(model_->AddFolder(), 0);
    EXPECT_EQ(listener_.requests.size(), 2u);
}

TEST_F(PhotoListTest, DialogFilesAreTakenAsChosenAndCancelChangesNothing) {
    chooser_.files = {Make("one.heic"), Make("two.heic"), u"no-folder.heic"};
    EXPECT_EQ(model_->AddFiles(), 2);
    EXPECT_EQ(chooser_.filesPattern, u"*.heic");
    EXPECT_EQ(listener_.requests.size(), 1u);
    EXPECT_EQ(model_->AddFiles(), 0);  // all listed already
    EXPECT_EQ(listener_.requests.size(), 1u);
    chooser_.filesChosen = false;
    EXPECT_EQ(model_->AddFiles(), 0);
    EXPECT_EQ(model_->FullList().size(), 2u);
}

TEST_F(PhotoListTest, WithTheHeaderClearedNewPhotosComeUnchecked) {
    view_.header = false;
    model_->AddDroppedPaths({Make("a.heic", 10), Make("b.heic", 20)});
    EXPECT_FALSE(model_->GetCheckState(0));
    EXPECT_EQ(model_->Totals(), (PhotoTotals{2, 30, 0, 0}));

    model_->SetCheckState(1, true);
    model_->SetCheckState(1, true);  // no change: counted once
    EXPECT_EQ(model_->Totals(), (PhotoTotals{2, 30, 1, 20}));
    model_->SetCheckState(1, false);
    model_->SetCheckState(-1, true);
    model_->SetCheckState(2, true);
    EXPECT_EQ(model_->Totals(), (PhotoTotals{2, 30, 0, 0}));
    EXPECT_FALSE(model_->GetCheckState(-1));
}

TEST_F(PhotoListTest, SearchMatchesNameOrDateAndUnchecksTheShownRows) {
    const time_t in2019 = LocalTime(2019, 7, 1, 10, 20, 30);
    const time_t in2021 = LocalTime(2021, 3, 4, 5, 6, 7);
    model_->AddDroppedPaths({Make("IMG_2019_beach.heic", 10, in2021), Make("holiday.heic", 20, in2019),
                             Make("other.heic", 40, in2021)});
    EXPECT_EQ(model_->RowText(1, PhotoListModel::kColumnDate), u"2019-07-01 10:20:30");

    model_->Search(u"2019");
    EXPECT_TRUE(model_->FilterActive());
    ASSERT_EQ(model_->ShownCount(), 2);
    EXPECT_EQ(view_.itemCount, 2);
    EXPECT_EQ(model_->RowText(0, PhotoListModel::kColumnName), u"IMG_2019_beach.heic");
    EXPECT_EQ(model_->RowText(1, PhotoListModel::kColumnName), u"holiday.heic");
    EXPECT_EQ(model_->RowText(1, PhotoListModel::kColumnNumber), u"2");
    EXPECT_EQ(model_->Totals(), (PhotoTotals{2, 30, 0, 0}));
    EXPECT_TRUE(model_->FullList()[2]->checked);  // hidden rows keep their boxes

    model_->Search(u"img_2019_BEACH");
    EXPECT_EQ(model_->ShownCount(), 1);
    model_->Search(u"nothing-like-this");
    EXPECT_EQ(model_->ShownCount(), 0);
    EXPECT_EQ(view_.itemCount, 0);

    model_->Search(u"");
    EXPECT_FALSE(model_->FilterActive());
    EXPECT_EQ(model_->ShownCount(), 3);
    EXPECT_EQ(model_->Totals(), (PhotoTotals{3, 70, 0, 0}));
    for (const auto& photo : model_->FullList()) EXPECT_FALSE(photo->checked);

    // A pasted text longer than the box holds is cut to its length.
    model_->Search(std::u16string(300, u'x'));
    EXPECT_EQ(model_->ShownCount(), 0);
}

TEST_F(PhotoListTest, DeletingNeedsACheckedRowAndTheUsersYes) {
    model_->AddDroppedPaths({Make("a.heic", 10), Make("b.heic", 20), Make("c.heic", 40)});
    for (int row = 0; row < 3; ++row) model_->SetCheckState(row, false);

    model_->DeleteChecked();
    ASSERT_EQ(asker_.alerts.size(), 1u);
    EXPECT_EQ(asker_.alerts[0], std::make_pair(TranslateConverter(u"nothing-check-warning"), 450));
    EXPECT_TRUE(asker_.questions.empty());
    EXPECT_EQ(model_->FullList().size(), 3u);

    model_->SetCheckState(1, true);
    asker_.answer = false;
    model_->DeleteChecked();
    ASSERT_EQ(asker_.questions.size(), 1u);
    EXPECT_EQ(asker_.questions[0], std::make_pair(TranslateConverter(u"ask-you-delete-heic"), 750));
    EXPECT_EQ(model_->FullList().size(), 3u);

    asker_.answer = true;
    model_->DeleteChecked();
    EXPECT_EQ(model_->FullList().size(), 2u);
    EXPECT_EQ(view_.itemCount, 2);
    EXPECT_EQ(model_->FindPhoto(W((root_ / "b.heic").string())), nullptr);
    EXPECT_EQ(model_->Totals(), (PhotoTotals{2, 50, 0, 0}));
    EXPECT_TRUE(fs::exists(root_ / "b.heic"));  // the list forgets it, the disk keeps it
    EXPECT_EQ(listener_.emptied, 0);
}

TEST_F(PhotoListTest, DeletingEverythingResetsTheTotalsAndClearsTheHeader) {
    const auto a = Make("a.heic", 10);
    model_->AddDroppedPaths({a, Make("b.heic", 20)});
    model_->DeleteChecked();
    EXPECT_TRUE(model_->FullList().empty());
    EXPECT_EQ(model_->IndexedCount(), 0u);
    EXPECT_EQ(model_->Totals(), PhotoTotals{});
    EXPECT_EQ(listener_.last, PhotoTotals{});
    EXPECT_FALSE(view_.header);
    EXPECT_EQ(view_.headerRefreshes, 1);
    EXPECT_EQ(listener_.emptied, 1);
    EXPECT_EQ(view_.itemCount, 0);

    // The same file can come back, unchecked now that the header is clear.
    EXPECT_EQ(model_->AddDroppedPaths({a}), 1);
    EXPECT_FALSE(model_->GetCheckState(0));
}

TEST_F(PhotoListTest, RepeatedDeletesUnderOneSearchRemoveExactlyTheCheckedRows) {
    model_->AddDroppedPaths({Make("keep-1.heic"), Make("match-1.heic"), Make("keep-2.heic"), Make("match-2.heic"),
                             Make("match-3.heic")});
    model_->SetCheckState(0, true);  // hidden by the search below, checked all along
    model_->Search(u"match");
    ASSERT_EQ(model_->ShownCount(), 3);

    model_->SetCheckState(0, true);
    model_->DeleteChecked();
    ASSERT_EQ(model_->ShownCount(), 2);
    model_->SetCheckState(1, true);  // match-3, whose place in the full list has moved
    model_->DeleteChecked();

    std::vector<std::u16string> names;
    for (const auto& photo : model_->FullList()) names.push_back(photo->name);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"keep-1.heic", u"keep-2.heic", u"match-2.heic"}));
    ASSERT_EQ(model_->ShownCount(), 1);
    EXPECT_EQ(model_->RowText(0, PhotoListModel::kColumnName), u"match-2.heic");
    EXPECT_EQ(model_->Totals(), Recount());
    EXPECT_EQ(model_->IndexedCount(), 3u);
}

TEST_F(PhotoListTest, AnAddThatEndsASearchCountsWhatTheRowsThenShow) {
    model_->AddDroppedPaths({Make("a.heic", 10), Make("b.heic", 20), Make("c.heic", 40)});
    model_->Search(u"a.");  // a shown and unchecked; b and c hidden, still checked
    EXPECT_EQ(model_->Totals(), (PhotoTotals{1, 10, 0, 0}));

    model_->AddDroppedPaths({Make("d.heic", 80)});
    EXPECT_FALSE(model_->FilterActive());
    EXPECT_EQ(view_.itemCount, 4);
    EXPECT_EQ(model_->Totals(), (PhotoTotals{4, 150, 3, 140}));
    EXPECT_EQ(model_->Totals(), Recount());

    model_->Search(u"b.");
    chooser_.files = {Make("e.heic", 160)};
    model_->AddFiles();
    EXPECT_EQ(model_->Totals(), Recount());
    model_->Search(u"c.");
    chooser_.folder = Folder();
    model_->AddFolder();
    EXPECT_EQ(model_->Totals(), Recount());
    EXPECT_EQ(view_.itemCount, model_->ShownCount());
}

TEST_F(PhotoListTest, PathsThatDifferOnlyInCaseAreTwoPhotos) {
    const auto upper = Make("Photo.heic", 10);
    const auto lower = Make("photo.heic", 20);
    EXPECT_EQ(model_->AddDroppedPaths({upper, lower}), 2);
    EXPECT_NE(model_->FindPhoto(upper), model_->FindPhoto(lower));
}

TEST_F(PhotoListTest, ConversionTakesTheCheckedShownRowsInListOrder) {
    model_->AddDroppedPaths({Make("a1.heic"), Make("b1.heic"), Make("a2.heic")});
    model_->Search(u"a");
    model_->SetCheckState(1, true);
    model_->SetCheckState(0, true);
    model_->FullList()[1]->checked = true;  // hidden: must not be converted
    EXPECT_EQ(model_->CheckedShownPaths(),
              (std::vector<std::string>{(root_ / "a1.heic").string(), (root_ / "a2.heic").string()}));
}

TEST(HeicPhotoRecord, NameSizeAndDateComeFromThePath) {
    const fs::path folder = fs::temp_directory_path() / ("workbench_photo_" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path file = folder / "IMG_0001.HEIC";
    std::ofstream(file, std::ios::binary) << std::string(1536, 'x');
    const time_t when = LocalTime(2023, 12, 31, 23, 59, 58);
    struct timeval times[2] = {{when, 0}, {when, 0}};
    utimes(file.c_str(), times);
    chmod(file.c_str(), 0444);  // read-only files still show their date

    auto photo = PhotoListModel::MakePhoto(W(file.string()));
    ASSERT_NE(photo, nullptr);
    EXPECT_EQ(photo->name, u"IMG_0001.HEIC");
    EXPECT_EQ(photo->sizeBytes, 1536);
    EXPECT_EQ(photo->sizeText, u"1.50 KB");
    EXPECT_EQ(photo->dateText, u"2023-12-31 23:59:58");

    auto missing = PhotoListModel::MakePhoto(W((folder / "gone.heic").string()));
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->sizeBytes, 0);
    EXPECT_EQ(missing->dateText, u"");

    EXPECT_EQ(PhotoListModel::MakePhoto(u"IMG_0003.HEIC"), nullptr);
    EXPECT_EQ(PhotoListModel::MakePhoto(u"/photos/"), nullptr);
    fs::remove_all(folder);
}

TEST(HeicPhotoRecord, TheExtensionIsTheTextFromTheLastDot) {
    struct Case {
        const char16_t* path;
        bool heic;
    };
    const Case cases[] = {
        {u"/a/b.heic", true},       {u"/a/b.HEIC", true},     {u"/a/b.HeIc", true},   {u"/a/b.c.heic", true},
        {u"/a/b.heic.jpg", false},  {u"/a/b.heics", false},   {u"/a/heic", false},    {u"/a.heic/b", false},
        {u"/a/b.hei", false},       {u"", false},             {u"/a/b.h\u0130ic", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PhotoListModel::HasHeicExtension(c.path), c.heic) << BASUtilityString::Utf16ToUtf8(c.path);
    }
}

// Any mix of the user's actions leaves the status line agreeing with the
// rows, the row count agreeing with the view, and the index with the list.
TEST_F(PhotoListTest, TotalsAlwaysAgreeWithTheShownRows) {
    std::vector<std::u16string> pool;
    for (int i = 0; i < 24; ++i) {
        const time_t when = LocalTime(2018 + i % 4, 1 + i % 12, 1 + i, 12, 0, 0);
        pool.push_back(Make("pool/IMG_" + std::to_string(1000 + i) + (i % 5 == 0 ? ".HEIC" : ".heic"),
                            50 + 37 * i, when));
    }
    pool.push_back(Make("pool/readme.txt"));
    chooser_.folder = Folder("pool");
    const std::vector<std::u16string> searches = {u"", u"1", u"2019", u"img_10", u"x", u".HEIC", u"-0"};

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };

    for (int step = 0; step < 3000; ++step) {
        const int action = static_cast<int>(pick(9));
        switch (action) {
        case 0: {
            std::vector<std::u16string> drop;
            for (size_t n = pick(6); n > 0; --n) drop.push_back(pool[pick(pool.size())]);
            model_->AddDroppedPaths(drop);
            break;
        }
        case 1: model_->AddFolder(); break;
        case 2:
            chooser_.files = {pool[pick(pool.size())], pool[pick(pool.size())]};
            model_->AddFiles();
            break;
        case 3: model_->Search(searches[pick(searches.size())]); break;
        case 4:
        case 5: {
            const int32_t row = static_cast<int32_t>(pick(model_->ShownCount() + 2)) - 1;
            model_->SetCheckState(row, random() % 2 == 0);
            break;
        }
        case 6: view_.header = !view_.header; break;
        case 7:
            asker_.answer = random() % 3 != 0;
            model_->DeleteChecked();
            break;
        case 8:
            model_->ApplyThumbnail(pool[pick(pool.size())], std::make_shared<QImage>(2, 2, QImage::Format_RGB32), 8, 6);
            break;
        }

        ASSERT_EQ(model_->Totals(), Recount()) << "after action " << action << " at step " << step;
        ASSERT_EQ(view_.itemCount, model_->ShownCount()) << "after action " << action << " at step " << step;
        ASSERT_EQ(model_->IndexedCount(), model_->FullList().size());
        std::set<const HeicPhoto*> full;
        for (const auto& photo : model_->FullList()) {
            ASSERT_EQ(model_->FindPhoto(photo->path), photo);
            full.insert(photo.get());
        }
        ASSERT_EQ(full.size(), model_->FullList().size());
        if (model_->FilterActive()) {
            // The search's rows are photos of the list, in the list's order.
            size_t at = 0;
            for (const auto& photo : model_->VisibleList()) {
                while (at < model_->FullList().size() && model_->FullList()[at] != photo) ++at;
                ASSERT_LT(at, model_->FullList().size());
            }
        }
    }
}

}  // namespace
