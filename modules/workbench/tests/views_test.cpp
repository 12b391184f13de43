// The converter window as users meet it, headless: the quality controls, the
// conversion request, the list's redraws, and drops on the entry view.
#include "presenter/vo_content_presenter.h"
#include "presenter/vo_converter_delegate.h"
#include "presenter/vo_track_bar.h"
#include "presenter/vo_up_down.h"

#include <bedrock/bas_utility_string.h>
#include <canvas/dispatch_queue.h>
#include <canvas/vo_edit.h>
#include <canvas/vo_img_button.h>
#include <canvas/vo_list_view.h>
#include <pixbridge/command_names.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QUrl>

#include <rapidjson/document.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "workbench_view_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);  // lives for the run
    return *app;
}

// The host as the views reach it: records the alerts and the progress start.
struct HostRecord {
    std::mutex mutex;
    std::vector<std::pair<std::string, int64_t>> posts;
};
HostRecord& Host() {
    static HostRecord record;
    return record;
}

void HostPost(ModuleCommand* c) {
    std::lock_guard<std::mutex> lock(Host().mutex);
    Host().posts.emplace_back(c->command, c->number);
}

int instanceTag = 0;

class QueueTarget : public QObject {
protected:
    bool event(QEvent* e) override { return DispatchQueue::RunEvent(e) || QObject::event(e); }
};

class Views : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        App();
        static QueueTarget* target = new QueueTarget();  // lives for the run
        DispatchQueue::DispatchQueueInit(target);
    }
    void SetUp() override {
        Host().posts.clear();
        folder_ = fs::temp_directory_path() / ("views_" + std::to_string(getpid()) + "_" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
        parent_ = std::make_unique<QWidget>();
        parent_->resize(950, 560);
    }
    void TearDown() override {
        delegate_.reset();
        parent_.reset();
        fs::remove_all(folder_);
    }
    VoConverterDelegate& Make(float scale) {
        delegate_ = std::make_unique<VoConverterDelegate>(ModuleBus{&HostPost, &instanceTag}, nullptr, nullptr, scale);
        delegate_->CreateWindow(parent_.get(), WindowRect{0, 50, 950, 560});
        delegate_->ResizeClient(950, 510);
        return *delegate_;
    }
    std::u16string Photo(const std::string& name) {
        std::ofstream(folder_ / name) << "not decoded here";
        return BASUtilityString::Utf8ToUtf16((folder_ / name).string());
    }
    int64_t AlertWidth() {
        for (auto& post : Host().posts) {
            if (post.first == LIBPLATFORM_COMMAND_OPEN_ALERT_MESSAGE) return post.second;
        }
        return -1;
    }
    static rapidjson::Document Parse(const std::string& text) {
        rapidjson::Document doc;
        doc.Parse(text.c_str());
        return doc;
    }

    fs::path folder_;
    std::unique_ptr<QWidget> parent_;
    std::unique_ptr<VoConverterDelegate> delegate_;
};

TEST_F(Views, TrackBarClampsStepsOnceAndIgnoresOtherButtons) {
    QWidget parent;
    parent.resize(400, 100);
    VoTrackBar bar;
    bar.Create(&parent);
    std::vector<int> values;
    bar.SetCallback([&](int v) { values.push_back(v); });
    bar.SetRect(QRect(50, 20, 200, 14));
    bar.SetValue(100);

    bar.ThumbMoved(50 + 99);
    EXPECT_EQ(bar.Value(), 49);
    bar.ThumbMoved(50 + 99);  // the same step again: no second call
    EXPECT_EQ(values, std::vector<int>{49});

    // A real drag far past the right end stops at the end: 100.
    VoTrackThumb* thumb = bar.Thumb();
    auto send = [&](QEvent::Type type, const QPoint& at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, thumb->mapFromGlobal(at), at, button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(thumb, &e);
    };
    const QPoint origin = parent.mapToGlobal(QPoint(0, 27));
    send(QEvent::MouseButtonPress, origin + QPoint(150, 0), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, origin + QPoint(900, 0), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, origin + QPoint(900, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(thumb->x(), 250);
    EXPECT_EQ(values.back(), 100);
    send(QEvent::MouseButtonPress, origin + QPoint(250, 0), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, origin + QPoint(-500, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(values.back(), 0);

    // The right button moves nothing.
    const size_t calls = values.size();
    send(QEvent::MouseButtonPress, origin + QPoint(50, 0), Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, origin + QPoint(200, 0), Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(values.size(), calls);
    EXPECT_EQ(thumb->x(), 50);
}

TEST_F(Views, QualityTypedWithEnterSetsTheBoxTheThumbAndTheUpDown) {
    VoConverterDelegate& delegate = Make(1.0f);
    delegate.SwitchView(VoConverterDelegate::kContentView);
    VoContentPresenter& content = *delegate.Content();
    QLineEdit* box = content.QualityBox()->LineEdit();
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("85"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->text(), QStringLiteral("85%"));
    EXPECT_EQ(content.Quality(), 85);
    EXPECT_EQ(content.TrackBar().Value(), 85);
    EXPECT_EQ(content.UpDown()->Position(), 85);
    content.UpDown()->Step(+1);  // the arrows go on from there
    EXPECT_EQ(box->text(), QStringLiteral("86%"));

    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("250"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->text(), QStringLiteral("100%"));  // a percentage stays one
}

TEST_F(Views, TheRequestCarriesTheTickedShownRowsAndTheFormatsOwnKeys) {
    VoConverterDelegate& delegate = Make(1.0f);
    delegate.SetDropMenu([](const QPoint&) { return true; });
    ASSERT_TRUE(delegate.AddPaths({Photo("a.heic"), Photo("b.heic"), Photo("ab.HEIC")}));
    VoContentPresenter& content = *delegate.Content();
    content.SetOutputFolder(BASUtilityString::Utf8ToUtf16(folder_.string()));

    rapidjson::Document jpeg = Parse(content.BuildRequest());
    EXPECT_EQ(jpeg["heic_array"].Size(), 3u);
    EXPECT_EQ(std::string(jpeg["output_dir"].GetString()), folder_.string() + "/");
    EXPECT_EQ(jpeg["quality"].GetInt(), 100);
    EXPECT_EQ(jpeg["keep_exif_data"].GetInt(), 1);
    EXPECT_EQ(jpeg["format"].GetInt(), 0);

    // With a search active only the ticked rows it shows go; "b.heic" is
    // hidden, "ab.HEIC" shown but not ticked.
    content.Search(QStringLiteral("a"));
    content.Model().SetCheckState(0, true);
    rapidjson::Document searched = Parse(content.BuildRequest());
    ASSERT_EQ(searched["heic_array"].Size(), 1u);
    EXPECT_EQ(std::string(searched["heic_array"][0].GetString()), (folder_ / "a.heic").string());

    content.SetOutputFolder(BASUtilityString::Utf8ToUtf16(folder_.string() + "/"));
    content.FormatBox()->setCurrentIndex(1);  // PNG
    rapidjson::Document png = Parse(content.BuildRequest());
    EXPECT_FALSE(png.HasMember("quality"));
    EXPECT_FALSE(png.HasMember("keep_exif_data"));
    EXPECT_EQ(std::string(png["output_dir"].GetString()), folder_.string() + "/");  // not doubled
    EXPECT_FALSE(content.QualityBox()->isVisibleTo(delegate.Window()));
    EXPECT_FALSE(content.KeepExif()->isVisibleTo(delegate.Window()));
}

TEST_F(Views, ChecksBeforeConvertingAndTheirWidthsAtOneAndAHalf) {
    VoConverterDelegate& delegate = Make(1.5f);
    VoContentPresenter& content = *delegate.Content();
    EXPECT_EQ(content.RowHeight(), 90);
    delegate.AddPaths({Photo("a.heic")});
    content.Model().SetCheckState(0, false);
    EXPECT_FALSE(content.Convert());
    EXPECT_EQ(AlertWidth(), 450);  // nothing ticked
    Host().posts.clear();
    content.Model().SetCheckState(0, true);
    content.SetOutputFolder(BASUtilityString::Utf8ToUtf16((folder_ / "missing").string()));
    EXPECT_FALSE(content.Convert());
    EXPECT_EQ(AlertWidth(), 600);  // no such folder
}

TEST_F(Views, ThumbnailsFarBelowTheScreenDoNotRedraw) {
    VoConverterDelegate& delegate = Make(1.0f);
    std::vector<std::u16string> paths;
    for (int i = 0; i < 200; ++i) paths.push_back(Photo("p" + std::to_string(1000 + i) + ".heic"));
    delegate.AddPaths(paths);
    VoContentPresenter& content = *delegate.Content();
    const int before = content.RefreshedRows();
    content.ThumbnailArrived(std::make_shared<QImage>(8, 6, QImage::Format_RGB32), paths[150], 2, 8, 6, 151, 200);
    EXPECT_EQ(content.RefreshedRows(), before);
    EXPECT_EQ(content.Model().ShownPhoto(150)->width, 8);  // the record has it
    content.ThumbnailArrived(std::make_shared<QImage>(8, 6, QImage::Format_RGB32), paths[0], 2, 8, 6, 1, 200);
    EXPECT_EQ(content.RefreshedRows(), before + 1);

    // The rows on screen are asked for first.
    std::vector<std::string> request;
    for (int i : {199, 120, 1, 0}) request.push_back(BASUtilityString::Utf16ToUtf8(paths[i]));
    const std::vector<std::string> ordered = content.VisibleFirst(request);
    EXPECT_EQ(ordered[0], request[2]);
    EXPECT_EQ(ordered[1], request[3]);
}

TEST_F(Views, ListTicksWithSpaceAndTheHeaderBox) {
    VoConverterDelegate& delegate = Make(1.0f);
    delegate.AddPaths({Photo("a.heic"), Photo("b.heic")});
    VoListView* list = delegate.Content()->List();
    list->setCurrentIndex(list->model()->index(1, 1));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_FALSE(delegate.Content()->Model().GetCheckState(1));
    EXPECT_EQ(delegate.Content()->Model().Totals().checkedCount, 1);
    list->SetAllRows(false);
    EXPECT_EQ(delegate.Content()->Model().Totals().checkedCount, 0);
    list->SetAllRows(true);
    EXPECT_EQ(delegate.Content()->Model().Totals().checkedCount, 2);
    EXPECT_EQ(list->model()->data(list->model()->index(0, 0), Qt::AccessibleTextRole).toString(), QStringLiteral("1 a.heic"));
}

TEST_F(Views, DropsOnTheEntryView) {
    VoConverterDelegate& delegate = Make(1.0f);
    QWidget* window = delegate.Window();
    auto drop = [&](const std::vector<fs::path>& files) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const fs::path& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f.string()));
        urls << QUrl(QStringLiteral("https://example.org/remote.heic"));  // never read
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDropEvent event(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &event);
        QCoreApplication::processEvents();
    };
    bool choose = true;
    int menus = 0;
    delegate.SetDropMenu([&](const QPoint&) { ++menus; return choose; });

    fs::create_directories(folder_ / "sub.heic.d");
    drop({folder_ / "sub.heic.d"});  // a folder is no photo
    EXPECT_EQ(delegate.CurrentView(), VoConverterDelegate::kEntryView);

    Photo("a.heic");
    choose = false;  // the menu dismissed
    drop({folder_ / "a.heic"});
    EXPECT_EQ(delegate.CurrentView(), VoConverterDelegate::kEntryView);
    EXPECT_EQ(delegate.Content()->Model().ShownCount(), 0);

    choose = true;
    drop({folder_ / "a.heic"});
    EXPECT_EQ(delegate.CurrentView(), VoConverterDelegate::kContentView);
    EXPECT_EQ(delegate.Content()->Model().ShownCount(), 1);
    EXPECT_FALSE(window->acceptDrops());
    const int menusBefore = menus;
    drop({folder_ / "a.heic"});  // the content view takes no drops
    EXPECT_EQ(menus, menusBefore);
}

}  // namespace
