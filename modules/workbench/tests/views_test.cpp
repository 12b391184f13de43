// The converter window as users meet it, headless and on a desktop of scale 2
// (QT_SCALE_FACTOR): the quality controls, the conversion and
// thumbnail requests, the list's redraws, the keyboard, and drops on the
// entry view.
#include "presenter/vo_content_presenter.h"
#include "presenter/vo_converter_delegate.h"
#include "presenter/vo_drop_menu.h"
#include "presenter/vo_track_bar.h"
#include "presenter/vo_up_down.h"
#include "module/module_images.h"
#include "module/reply_router.h"

#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_pool.h>
#include <canvas/dispatch_queue.h>
#include <canvas/vo_edit.h>
#include <canvas/vo_img_button.h>
#include <canvas/vo_list_view.h>
#include <canvas/vo_switch_button.h>
#include <lingua/wx_locale.h>
#include <pixbridge/command_names.h>
#include <pixbridge/host_payloads.h>
#include <pixbridge/photo_results.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QUrl>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "workbench_view_tests";
    static char* argv[] = {name, nullptr};
    // A desktop that scales by 2, as Qt sees one with Xft.dpi 192.
    qputenv("QT_SCALE_FACTOR", "2");
    static QApplication* app = new QApplication(argc, argv);  // lives for the run
    return *app;
}

// One record the views posted, with what its command carries.
struct Post {
    std::string command;
    int64_t number = 0, current = 0, total = 0;
    std::string text;  // `text`; for a photo request its requester's id
    void* window = nullptr;
    void* data = nullptr;
    std::string json;  // the progress start's document; a photo request's text
    ProgressStartBlock block{};
};

// The host (and the photo module) as the views reach them, recording every
// post; photo requests are taken as the photo module takes them, with an
// event id of their own, and answered by the test.
struct HostRecord {
    std::mutex mutex;
    std::vector<Post> posts;
    int events = 0;

    std::vector<Post> Find(const std::string& command) {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<Post> found;
        for (const Post& p : posts) {
            if (p.command == command) found.push_back(p);
        }
        return found;
    }
};
HostRecord& Host() {
    static HostRecord record;
    return record;
}

std::string ToJson(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return buffer.GetString();
}

// How the host answers a confirmation: 1 confirmed, 0 not.
int confirmAnswer = 0;

void HostPost(ModuleCommand* c) {
    Post post;
    post.command = c->command;
    post.number = c->number;
    post.current = c->current;
    post.total = c->total;
    post.window = c->window;
    post.data = c->data;
    if (c->text) post.text = c->text;
    std::lock_guard<std::mutex> lock(Host().mutex);
    if (post.command == LIBPLATFORM_COMMAND_START_PROGRESS) {
        if (c->data) post.json = ToJson(*static_cast<const rapidjson::Value*>(c->data));
        if (c->result) post.block = *static_cast<const ProgressStartBlock*>(c->result);
    } else if ((post.command == LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE || post.command == LIBPHOTO_COMMAND_QUERY_HEIC_THUMBNAIL) &&
               c->kind == kModuleCommandRequest) {
        post.text = c->id ? c->id : "";
        post.json = c->data ? static_cast<const char*>(c->data) : "";
        c->id = strdup(("photo-event-" + std::to_string(++Host().events)).c_str());
    } else if (post.command == LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE) {
        c->number = confirmAnswer;
    }
    Host().posts.push_back(std::move(post));
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
        {
            std::lock_guard<std::mutex> lock(Host().mutex);
            Host().posts.clear();
        }
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
    VoConverterDelegate& Make(float scale, const ModuleImages* images = nullptr) {
        delegate_ = std::make_unique<VoConverterDelegate>(ModuleBus{&HostPost, &instanceTag}, nullptr, images, scale);
        delegate_->CreateWindow(parent_.get(), WindowRect{0, 50, 950, 560});
        delegate_->ResizeClient(950, 510);
        return *delegate_;
    }
    std::u16string Photo(const std::string& name) {
        std::ofstream(folder_ / name) << "not decoded here";
        return BASUtilityString::Utf8ToUtf16((folder_ / name).string());
    }
    int64_t AlertWidth() { return Posted(LIBPLATFORM_COMMAND_OPEN_ALERT_MESSAGE); }
    // The `number` the first post of `command` carried; -1 when none was posted.
    int64_t Posted(const char* command) {
        for (const Post& post : Host().Find(command)) return post.number;
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
    EXPECT_EQ(jpeg["max_edge"].GetInt(), 0);  // the photo's own size

    // With a search active only the ticked rows it shows go; "b.heic" is
    // hidden, "ab.HEIC" shown but not ticked.
    content.Search(QStringLiteral("a"));
    content.Model().SetCheckState(0, true);
    rapidjson::Document searched = Parse(content.BuildRequest());
    ASSERT_EQ(searched["heic_array"].Size(), 1u);
    EXPECT_EQ(std::string(searched["heic_array"][0].GetString()), (folder_ / "a.heic").string());

    content.SetOutputFolder(BASUtilityString::Utf8ToUtf16(folder_.string() + "/"));
    content.FormatBox()->setCurrentIndex(1);  // PNG
    content.SizeBox()->setCurrentIndex(content.SizeBox()->findData(2048));
    rapidjson::Document png = Parse(content.BuildRequest());
    EXPECT_EQ(png["max_edge"].GetInt(), 2048);
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
    {
        std::lock_guard<std::mutex> lock(Host().mutex);
        Host().posts.clear();
    }
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

// The keyboard alone: the view starts in the rows just added; Tab leaves the
// list at once and goes round the controls as the eye reads them; Space and
// Delete belong to the list, and in the search box they are text; Ctrl+F and
// Ctrl+Enter reach the search box and the conversion from anywhere.
TEST_F(Views, TheKeyboardWalksTheViewAndTheListKeysStayInTheList) {
    VoConverterDelegate& delegate = Make(1.0f);
    parent_->show();
    parent_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(parent_.get()));
    ASSERT_TRUE(delegate.AddPaths({Photo("a.heic"), Photo("b.heic"), Photo("c.heic")}));
    VoContentPresenter& content = *delegate.Content();
    VoListView* list = content.List();
    ASSERT_TRUE(list->hasFocus());

    std::vector<QWidget*> walk;
    for (int i = 0; i < 15; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walk.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(walk[0], content.FormatBox()) << "Tab leaves the list, not for its next cell";
    EXPECT_EQ(walk[1], content.KeepExif());
    EXPECT_EQ(walk[2], content.QualityBox()->LineEdit());
    EXPECT_EQ(walk[3], content.UpDown());
    EXPECT_EQ(walk[4], content.SizeBox());
    EXPECT_EQ(walk[8], content.ConvertButton());  // after the folder box, "..." and "open folder"
    EXPECT_EQ(walk[12], content.SearchBox()->LineEdit());  // after the operator bar
    EXPECT_EQ(walk[14], list) << "once round, and back";
    QTest::keyClick(list, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), walk[13]) << "Shift+Tab goes back the same way";
    list->setFocus();

    // The first row is current once the list has the focus; Down, Space
    // unticks the second.
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_FALSE(content.Model().GetCheckState(1));
    EXPECT_EQ(content.Model().Totals().checkedCount, 2);
    // Delete asks as the remove button does; refused, nothing goes.
    confirmAnswer = 0;
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(Posted(LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE), 500);
    EXPECT_EQ(content.Model().ShownCount(), 3);
    confirmAnswer = 1;
    QTest::keyClick(list, Qt::Key_Delete);
    confirmAnswer = 0;
    ASSERT_EQ(content.Model().ShownCount(), 1);
    EXPECT_EQ(content.Model().ShownPhoto(0)->name, std::u16string(u"b.heic"));

    // Ctrl+F: the search box, where Space and Delete are text.
    QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
    QLineEdit* search = content.SearchBox()->LineEdit();
    ASSERT_TRUE(search->hasFocus());
    {
        std::lock_guard<std::mutex> lock(Host().mutex);
        Host().posts.clear();
    }
    QTest::keyClicks(search, QStringLiteral("b c"));
    QTest::keyClick(search, Qt::Key_Home);
    QTest::keyClick(search, Qt::Key_Delete);
    EXPECT_EQ(search->text(), QStringLiteral(" c"));
    EXPECT_EQ(Posted(LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE), -1);
    EXPECT_EQ(content.Model().ShownCount(), 1);
    // Ctrl+Enter converts from there: nothing is ticked, so the user is told.
    QTest::keyClick(search, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(AlertWidth(), 300);
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
    // Not even one named like a photo, nor a link to one.
    fs::create_directories(folder_ / "Album.HEIC");
    fs::create_directory_symlink(folder_ / "Album.HEIC", folder_ / "linked.heic");
    drop({folder_ / "Album.HEIC", folder_ / "linked.heic"});
    EXPECT_EQ(delegate.CurrentView(), VoConverterDelegate::kEntryView);
    EXPECT_EQ(delegate.Content()->Model().ShownCount(), 0);

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

// The quality slider in its panel: its channel spans the panel less
// 12 d on either side, a drag to its middle gives 50 and to its end 100, at
// scales 1 and 1.5; the round thumb sits on white; Up and Down in the box
// step the quality like the arrows beside it.
TEST_F(Views, QualitySliderSpansThePanelAndItsDragsAndKeysAtTwoScales) {
    for (float scale : {1.0f, 1.5f}) {
        SCOPED_TRACE(scale);
        VoConverterDelegate& delegate = Make(scale);
        delegate.SwitchView(VoConverterDelegate::kContentView);
        VoContentPresenter& content = *delegate.Content();
        const QRect channel = content.TrackBar().Rect();
        EXPECT_EQ(channel.width(), content.PanelRect().width() - static_cast<int>(24 * scale));
        EXPECT_EQ(channel.left(), content.PanelRect().left() + static_cast<int>(12 * scale));

        VoTrackThumb* thumb = content.TrackBar().Thumb();
        QWidget* parent = thumb->parentWidget();
        auto drag = [&](int x) {
            const QPoint from = parent->mapToGlobal(thumb->geometry().center());
            const QPoint to = parent->mapToGlobal(QPoint(x, thumb->geometry().center().y()));
            QMouseEvent press(QEvent::MouseButtonPress, thumb->mapFromGlobal(from), from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(thumb, &press);
            QMouseEvent move(QEvent::MouseMove, thumb->mapFromGlobal(to), to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(thumb, &move);
            QMouseEvent release(QEvent::MouseButtonRelease, thumb->mapFromGlobal(to), to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(thumb, &release);
        };
        drag(channel.left() + (channel.width() + 1) / 2);
        EXPECT_EQ(content.Quality(), 50);
        EXPECT_EQ(content.QualityBox()->Text(), QStringLiteral("50%"));
        drag(channel.left() + channel.width());
        EXPECT_EQ(content.Quality(), 100);
        drag(channel.right() + 200);
        EXPECT_EQ(content.Quality(), 100);
        EXPECT_EQ(thumb->x(), channel.left() + channel.width());

        const QImage look = thumb->grab().toImage();
        EXPECT_EQ(look.pixelColor(0, 0), QColor(Qt::white));
        EXPECT_NE(look.pixelColor(look.width() / 2, look.height() / 2), QColor(Qt::white));

        QLineEdit* box = content.QualityBox()->LineEdit();
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Down);
        EXPECT_EQ(box->text(), QStringLiteral("98%"));
        EXPECT_EQ(content.Quality(), 98);
        EXPECT_EQ(content.TrackBar().Value(), 98);
        QTest::keyClick(box, Qt::Key_Up);
        EXPECT_EQ(content.UpDown()->Position(), 99);
    }
}

// The operator bar's buttons 6 d and the search box and button 4 d from the
// top, as laid out, not centred; the search button's tip in the user's language.
TEST_F(Views, OperatorBarOffsetsAndTheSearchTipInTheUsersLanguage) {
    wxLocale* japanese = CreateLocale(8);
    ASSERT_TRUE(japanese->LoadLanguageCatalog(
        BASUtilityString::Utf8ToUtf16(std::string(WORKBENCH_VERSION_DIR) + "I18n/").c_str(), u"Converter"));
    VoConverterDelegate& delegate = Make(1.5f);
    delegate.SwitchView(VoConverterDelegate::kContentView);
    VoContentPresenter& content = *delegate.Content();
    EXPECT_EQ(content.SearchButton()->toolTip(), QStringLiteral("検索"));
    japanese->Release();
    EXPECT_EQ(content.AddFileButton()->y(), 9);
    EXPECT_EQ(content.SearchButton()->y(), 6);
    EXPECT_EQ(content.SearchBox()->y(), 6);
    EXPECT_EQ(content.SearchBox()->geometry().right() + 1 + 3, content.SearchButton()->x());
}

// The dialogs behind the views, answered headless: every folder browser
// goes through the same chooser, the add-folder one and the output one.
class Answers : public PhotoChooser {
public:
    bool ChooseFiles(const std::u16string&, const std::u16string&, std::vector<std::u16string>&) override { return false; }
    bool ChooseFolder(const std::u16string& title, std::u16string& chosen) override {
        titles.push_back(title);
        if (folders.empty()) return false;
        chosen = folders.front();
        folders.erase(folders.begin());
        return true;
    }
    std::vector<std::u16string> folders;
    std::vector<std::u16string> titles;
};

TEST_F(Views, TheOutputFolderIsChosenThroughTheSameChooser) {
    VoConverterDelegate& delegate = Make(1.0f);
    Answers answers;
    delegate.SetChooser(&answers);
    delegate.SwitchView(VoConverterDelegate::kContentView);
    VoContentPresenter& content = *delegate.Content();
    const std::u16string out = BASUtilityString::Utf8ToUtf16((folder_ / "out").string());
    answers.folders = {out};
    content.OnCommand(VoContentPresenter::kBrowse);
    EXPECT_EQ(content.OutputFolder(), out);
    EXPECT_EQ(content.OnCommand(VoContentPresenter::kBrowse), true);  // cancelled: kept
    EXPECT_EQ(content.OutputFolder(), out);
    Photo("p.heic");
    answers.folders = {BASUtilityString::Utf8ToUtf16(folder_.string())};
    EXPECT_EQ(content.AddFolder(), 1);
    EXPECT_EQ(answers.titles, (std::vector<std::u16string>{u"select-dir", u"select-dir", u"select-dir"}));
    delegate.SetChooser(nullptr);
}

// A stopped conversion still finishes the photos it had begun: "convert"
// waits, visibly, until it has; then it works again.
TEST_F(Views, ConvertWaitsVisiblyWhileAStoppedConversionFinishes) {
    VoConverterDelegate& delegate = Make(1.0f);
    ASSERT_TRUE(delegate.AddPaths({Photo("a.heic")}));
    VoContentPresenter& content = *delegate.Content();
    content.SetOutputFolder(BASUtilityString::Utf8ToUtf16(folder_.string()));
    ASSERT_TRUE(content.Convert());
    EXPECT_FALSE(content.Finishing());
    content.StopConversion();  // the progress dialog's cancel
    EXPECT_TRUE(content.Finishing());
    EXPECT_FALSE(content.ConvertButton()->isEnabled());
    EXPECT_FALSE(content.Convert());
    // Nothing was taken by a photo module here: the stop is over at the next look.
    for (int i = 0; i < 50 && content.Finishing(); ++i) QTest::qWait(20);
    EXPECT_FALSE(content.Finishing());
    EXPECT_TRUE(content.ConvertButton()->isEnabled());
    EXPECT_TRUE(content.Convert());
    content.StopWork();
}

// Everything the content view posts to the host on a user's way through it,
// recorded on the bus: the loading dialog opened, counted and closed as the
// thumbnails come; the status texts; the output folder kept for the next
// start; keep-EXIF off in the request; the progress start's block (the
// view's own stop, the "converting" logo) and "complete" only on the end reply.
TEST_F(Views, TheContentViewsPostsToTheHost) {
    VoTaskPool::Get()->Activate(2);  // the work's tasks post the photo requests
    setenv("XDG_CONFIG_HOME", (folder_ / "config").c_str(), 1);
    ASSERT_TRUE(BASUserDefaults::InitStandardUserDefaults("Quillmarsh", "Views Test"));
    static ModuleImages images;  // read by the work's threads until the run ends
    images.LoadAll(BASUtilityString::Utf8ToUtf16(std::string(WORKBENCH_VERSION_DIR) + "Resources/"));
    VoConverterDelegate& delegate = Make(1.0f, &images);
    Answers answers;
    delegate.SetChooser(&answers);
    VoContentPresenter& content = *delegate.Content();
    auto waitFor = [](const std::function<bool()>& done) {
        for (int i = 0; i < 250 && !done(); ++i) QTest::qWait(20);
        return done();
    };

    // Two photos dropped: the loading dialog opens over the view.
    const std::vector<std::u16string> photos = {Photo("a.heic"), Photo("b.heic")};
    ASSERT_TRUE(delegate.AddPaths(photos));
    const std::vector<Post> opened = Host().Find(LIBPLATFORM_COMMAND_OPEN_DATA_TYPE_LOADING_DIALOG);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].text, VoContentPresenter::kDeviceId);
    EXPECT_EQ(opened[0].number, 0);
    EXPECT_EQ(opened[0].window, delegate.Window());
    const std::string size = BASUtilityString::Utf16ToUtf8(BASUtilityFile::ZLGetFormatSizeFromBytes(16 * 2));
    EXPECT_EQ(content.TotalText().toStdString(), "status-section-total-size-2-" + size);
    EXPECT_EQ(content.CheckedText().toStdString(), "status-section-check-size-2-" + size);
    content.Model().SetCheckState(1, false);
    EXPECT_EQ(content.CheckedText().toStdString(),
              "status-section-check-size-1-" + BASUtilityString::Utf16ToUtf8(BASUtilityFile::ZLGetFormatSizeFromBytes(16)));

    // The thumbnails come, request by request: counted, then the dialog closes.
    ASSERT_TRUE(waitFor([] {
        size_t asked = 0;
        for (const Post& request : Host().Find(LIBPHOTO_COMMAND_QUERY_HEIC_THUMBNAIL)) asked += Parse(request.json)["heic_array"].Size();
        return asked == 2;
    }));
    for (const Post& request : Host().Find(LIBPHOTO_COMMAND_QUERY_HEIC_THUMBNAIL)) {
        const rapidjson::Document doc = Parse(request.json);
        EXPECT_EQ(doc["image_size"].GetInt(), content.RowHeight() * 2) << "a row in device pixels, at Qt's ratio 2";
        const rapidjson::Value& paths = doc["heic_array"];
        for (rapidjson::SizeType i = 0; i <= paths.Size(); ++i) {
            ThumbnailResult result;
            if (i < paths.Size()) {
                result.sourcePath = BASUtilityString::Utf8ToUtf16(paths[i].GetString());
                result.image = new QImage(6, 4, QImage::Format_RGB32);  // the receiver's from here
                result.resultKind = kPhotoResultItem;
                result.imageWidth = 4032;
                result.imageHeight = 3024;
                result.photoIndex = static_cast<int32_t>(i) + 1;
                result.photoCount = static_cast<int32_t>(paths.Size());
            } else {
                result.resultKind = kPhotoResultEnd;
            }
            ModuleCommand reply = MakeCommand(LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL);
            reply.kind = kModuleCommandReply;
            reply.id = const_cast<char*>(request.text.c_str());
            reply.data = &result;
            EXPECT_TRUE(DeliverPhotoReply(reply));
        }
    }
    ASSERT_TRUE(waitFor([] { return !Host().Find(LIBPLATFORM_COMMAND_CLOSE_DATA_TYPE_LOADING_DIALOG).empty(); }));
    const std::vector<Post> counted = Host().Find(LIBPLATFORM_COMMAND_UPDATE_DATA_TYPE_LOADING_DIALOG);
    ASSERT_EQ(counted.size(), 2u);
    EXPECT_EQ(counted.back().current, 2);
    EXPECT_EQ(counted.back().total, 2);
    EXPECT_EQ(counted.back().text, VoContentPresenter::kDeviceId);
    EXPECT_EQ(Host().Find(LIBPLATFORM_COMMAND_CLOSE_DATA_TYPE_LOADING_DIALOG).size(), 1u);
    EXPECT_EQ(content.Model().FindPhoto(photos[0])->dimensionsText, u"4032x3024");
    EXPECT_EQ(content.Model().FindPhoto(photos[0])->thumbnail->devicePixelRatio(), 2.0);

    // The output folder, chosen, is kept for the next start.
    const std::u16string out = BASUtilityString::Utf8ToUtf16((folder_ / "out").string());
    fs::create_directories(folder_ / "out");
    answers.folders = {out};
    content.OnCommand(VoContentPresenter::kBrowse);
    ASSERT_NE(BASUserDefaults::StandardUserDefaults()->GetString(VoContentPresenter::kFolderKey), nullptr);
    EXPECT_EQ(std::string(BASUserDefaults::StandardUserDefaults()->GetString(VoContentPresenter::kFolderKey)),
              (folder_ / "out").string());
    // So is the size.
    content.SizeBox()->setCurrentIndex(content.SizeBox()->findData(1600));
    EXPECT_EQ(BASUserDefaults::StandardUserDefaults()->GetInt("CONVERT_MAX_EDGE_KEY"), 1600);

    // Keep-EXIF off, then convert: the start block and the request.
    content.OnCommand(VoContentPresenter::kKeepExif);
    ASSERT_TRUE(content.Convert());
    const std::vector<Post> starts = Host().Find(LIBPLATFORM_COMMAND_START_PROGRESS);
    ASSERT_EQ(starts.size(), 1u);
    const rapidjson::Document start = Parse(starts[0].json);
    EXPECT_EQ(start["keep_exif_data"].GetInt(), 0);
    EXPECT_EQ(std::string(start["device_id"].GetString()), VoContentPresenter::kDeviceId);
    EXPECT_EQ(start["show_current_total_number"].GetInt(), 1);
    EXPECT_EQ(starts[0].block.logo, images.Find("converting.png"));
    EXPECT_NE(starts[0].block.logo, nullptr);
    EXPECT_EQ(starts[0].block.cancelValue1, delegate.Window());
    EXPECT_EQ(starts[0].block.cancelValue2, &content);
    ASSERT_TRUE(waitFor([] { return !Host().Find(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE).empty(); }));
    const Post request = Host().Find(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE)[0];
    const rapidjson::Document sent = Parse(request.json);
    EXPECT_EQ(sent["keep_exif_data"].GetInt(), 0);
    EXPECT_EQ(sent["heic_array"].Size(), 1u);
    EXPECT_EQ(std::string(sent["output_dir"].GetString()), (folder_ / "out").string() + "/");

    // The file's reply changes no logo; the end reply sets "complete".
    auto reply = [&](int32_t kind) {
        ConvertResult result;
        result.sourcePath = photos[0];
        result.status = kind == kPhotoResultItem ? kPhotoStatusConverted : 0;
        result.resultKind = kind;
        ModuleCommand c = MakeCommand(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE);
        c.kind = kModuleCommandReply;
        c.id = const_cast<char*>(request.text.c_str());
        c.data = &result;
        EXPECT_TRUE(DeliverPhotoReply(c));
    };
    reply(kPhotoResultItem);
    EXPECT_TRUE(Host().Find(LIBPLATFORM_COMMAND_CHANGE_PROGRESS_LOGO).empty());
    reply(kPhotoResultEnd);
    const std::vector<Post> logos = Host().Find(LIBPLATFORM_COMMAND_CHANGE_PROGRESS_LOGO);
    ASSERT_EQ(logos.size(), 1u);
    EXPECT_EQ(logos[0].data, images.Find("complete.png"));
    EXPECT_TRUE(waitFor([&] { return !content.Busy(); }));

    // The next start finds the folder again.
    delegate.SetChooser(nullptr);
    VoConverterDelegate& next = Make(1.0f, &images);
    EXPECT_EQ(next.Content()->OutputFolder(), out);
}

// The drop menu's one item, measured as the view measures it, and its place
// when the cursor is on no screen: the nearest screen's edge, x only.
TEST(DropMenu, ItemSizeAndPlaceOffEveryScreen) {
    App();
    const std::vector<VoDropMenu::Screen> screens = {
        {QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040)},
        {QRect(1920, 200, 1280, 1024), QRect(1920, 200, 1280, 1024)},
    };
    const struct {
        QPoint cursor, want;
    } cases[] = {
        {{100, 100}, {100, 100}},            // on a screen: there
        {{2500, 300}, {2500, 300}},
        {{-40, 500}, {0, 500}},              // left of the first: its left edge, same height
        {{3400, 700}, {3199, 700}},          // right of the second
        {{2600, 1500}, {2600, 1500}},        // below the second, x within it: only x may move
        {{1950, 100}, {1919, 100}},          // nearer the first's right edge than the second's top
        {{-10, -3000}, {0, -3000}},
    };
    for (const auto& c : cases) EXPECT_EQ(VoDropMenu::Place(c.cursor, screens), c.want) << c.cursor.x() << "," << c.cursor.y();
    EXPECT_EQ(VoDropMenu::Place(QPoint(5, 5), {}), QPoint(5, 5));

    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(21);
    for (float scale : {1.0f, 1.5f}) {
        VoDropMenu menu(nullptr, QStringLiteral("Add to the list"), font, scale);
        const QSize text = QFontMetrics(font).size(Qt::TextSingleLine, QStringLiteral("Add to the list"));
        const QSize want(text.width() + static_cast<int>(16 * scale), text.height() + static_cast<int>(4 * scale));
        EXPECT_EQ(VoDropMenu::ItemSize(QStringLiteral("Add to the list"), font, scale), want);
        menu.Menu().ensurePolished();
        menu.Menu().adjustSize();
        EXPECT_EQ(menu.Menu().actionGeometry(menu.Item()).height(), want.height());
        EXPECT_GE(menu.Menu().actionGeometry(menu.Item()).width(), want.width());
    }
}

}  // namespace
