// The host's command service and main window on the real bus, headless.
#include "app/desktop_notices.h"
#include "host_parts.h"
#include "plugin_util.h"
#include "probe_protocol.h"
#include "service/host_command_service.h"
#include "service/host_context.h"
#include "service/host_tables.h"
#include "service/image_cache.h"
#include "service/progress_counters.h"
#include "ui/main_frame.h"
#include "ui/main_view.h"

#include <bedrock/bas_utility_string.h>
#include <canvas/dispatch_queue.h>
#include <canvas/pictures.h>
#include <lingua/wx_locale.h>
#include <pixbridge/command_names.h>
#include <pixbridge/host_payloads.h>

#include <QApplication>
#include <QDBusConnection>
#include <QProcess>
#include <QScreen>
#include <QCloseEvent>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "host_service_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        // Two headless screens, the second right of the first and lower.
        // A file of this process's own: the tests run side by side, and one
        // rewriting a shared file while another's Qt reads it broke that one.
        static const std::string config =
            (fs::temp_directory_path() / ("host_service_screens_" + std::to_string(getpid()) + ".json")).string();
        std::ofstream(config) << R"({"screens": [
            {"name": "first", "x": 0, "y": 0, "width": 1366, "height": 768, "logicalDpi": 96},
            {"name": "second", "x": 1366, "y": 120, "width": 1600, "height": 900, "logicalDpi": 96}]})";
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.c_str());
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Waits (running events) for `actual()` to equal `expected`: the window
// system applies states and sizes after the call that asked for them.
template <typename F, typename T>
::testing::AssertionResult Becomes(F actual, const T& expected) {
    if (QTest::qWaitFor([&] { return actual() == expected; }, 3000)) return ::testing::AssertionSuccess();
    QString shown;
    QDebug(&shown) << actual() << "instead of" << expected;
    return ::testing::AssertionFailure() << shown.toStdString();
}

ModuleCommand Command(const char* name) {
    ModuleCommand c{};
    c.command = name;
    c.sender = &c;  // any module but the host
    return c;
}

// A main window stand-in that remembers placements and window states.
class FakeWindow : public MainWindowControl {
public:
    QRect main{100, 50, 954, 614};
    QRect area{0, 0, 1920, 1040};
    bool windowSystem = false;
    bool maximisedState = false;
    int minimised = 0;
    bool refuseClose = false;
    QRect MainGeometry() const override { return main; }
    QRect WorkArea() const override { return area; }
    void PlaceMain(const QRect& r) override { main = r; }
    bool WindowSystemMaximises() const override { return windowSystem; }
    void ShowMaximised(bool m) override { maximisedState = m; }
    bool IsMaximised() const override { return maximisedState; }
    QWidget* MainView() const override { return nullptr; }
    void Minimise() override { ++minimised; }
    bool RequestClose() override { return !refuseClose; }
};

// Runs queued work like the main window does.
class QueueTarget : public QObject {
protected:
    bool event(QEvent* e) override { return DispatchQueue::RunEvent(e) || QObject::event(e); }
};

class Service : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        App();
        // The host's parts, as the program owns them; they live for the run.
        static HostParts parts;
        static QueueTarget* target = new QueueTarget();
        DispatchQueue::DispatchQueueInit(target);
        // Once for the run: every suite derived from this one sets up again.
        static const bool subscribed = (SubscribeHostCommands(), true);
        (void)subscribed;
    }
};

TEST_F(Service, MaximiseTwiceRestoresTheRectangleAndAnswersTheState) {
    // A bare X server: the host fills the work area of the window's own
    // screen, here a second one under a top panel, and puts it back.
    FakeWindow window;
    window.area = QRect(1920, 24, 1680, 1026);
    window.main = QRect(2020, 74, 954, 614);
    HostContext::Get().SetWindow(&window);
    ModuleCommand c = Command(LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET);
    c.number = -1;
    plugin_util::PostCommand(&c);
    EXPECT_EQ(window.main, QRect(1920, 24, 1680, 1026));
    EXPECT_EQ(c.number, 1);
    plugin_util::PostCommand(&c);
    EXPECT_EQ(window.main, QRect(2020, 74, 954, 614));
    EXPECT_EQ(c.number, 0);

    // The screen went away while maximised: the rectangle comes back at the
    // same place on the screen the window is on now, within it.
    plugin_util::PostCommand(&c);
    window.area = QRect(0, 0, 1366, 740);
    plugin_util::PostCommand(&c);
    EXPECT_EQ(window.main, QRect(100, 50, 954, 614));
    EXPECT_EQ(RestoredRect(QRect(3000, 700, 954, 614), QRect(1920, 24, 1680, 1026), QRect(0, 0, 1366, 740)),
              QRect(412, 126, 954, 614));

    // From a worker the work waits for the main thread; the record keeps its value.
    ModuleCommand fromWorker = Command(LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET);
    fromWorker.number = 7;
    std::thread([&] { plugin_util::PostCommand(&fromWorker); }).join();
    EXPECT_EQ(fromWorker.number, 7);
    EXPECT_EQ(window.main, QRect(100, 50, 954, 614));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.main, QRect(0, 0, 1366, 740));
    plugin_util::PostCommand(&c);
    EXPECT_EQ(c.number, 0);

    // With a window manager the window's states do it; the host places nothing.
    window.windowSystem = true;
    plugin_util::PostCommand(&c);
    EXPECT_TRUE(window.maximisedState);
    EXPECT_EQ(c.number, 1);
    EXPECT_EQ(window.main, QRect(100, 50, 954, 614));
    plugin_util::PostCommand(&c);
    EXPECT_FALSE(window.maximisedState);
    EXPECT_EQ(c.number, 0);

    ModuleCommand minimise = Command(LIBPLATFORM_COMMAND_PRESS_MINIMIZE);
    plugin_util::PostCommand(&minimise);
    EXPECT_EQ(window.minimised, 1);

    ModuleCommand close = Command(LIBPLATFORM_COMMAND_PRESS_CLOSE);
    close.number = -1;
    window.refuseClose = true;
    plugin_util::PostCommand(&close);
    EXPECT_EQ(close.number, 0);
    window.refuseClose = false;
    plugin_util::PostCommand(&close);
    EXPECT_EQ(close.number, 1);
    HostContext::Get().SetWindow(nullptr);
}

TEST_F(Service, ImagesAreCachedEvenWhenMissing) {
    ModuleCommand c = Command(LIBPLATFORM_COMMAND_FIND_IMAGE);
    c.text = const_cast<char*>("no/such-image.png");
    plugin_util::PostCommand(&c);
    ASSERT_NE(c.result, nullptr);
    void* first = c.result;
    c.result = nullptr;
    plugin_util::PostCommand(&c);
    EXPECT_EQ(c.result, first);
    EXPECT_TRUE(static_cast<QImage*>(first)->isNull());

    // From many threads at once: one object per name, no race.
    std::vector<std::thread> threads;
    std::atomic<int> different{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                ModuleCommand w = Command(LIBPLATFORM_COMMAND_FIND_IMAGE);
                const std::string name = "thread-" + std::to_string(i % 20) + ".png";
                w.text = const_cast<char*>(name.c_str());
                plugin_util::PostCommand(&w);
                if (w.result != ImageCache::Get().Find(name)) different.fetch_add(1);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(different.load(), 0);
}

// The host's pictures ship twice: at their layout size, and twice as fine
// for screens that scale up, covering the same layout size.
TEST(HostPictures, EveryStartupPictureHasItsTwiceAsFineTwin) {
    const QString folder = QStringLiteral(PIXBRIDGE_APP_DIR "/Resources/");
    for (const std::string& name : ImageCache::StartupImages()) {
        const QString path = folder + QString::fromStdString(name);
        const QImage plain = Utils::LoadPicture(path, 1.0);
        const QImage fine = Utils::LoadPicture(path, 1.25);
        ASSERT_FALSE(plain.isNull()) << name;
        EXPECT_EQ(fine.devicePixelRatio(), 2.0) << name << " has no @2x picture";
        EXPECT_EQ(Utils::PictureSize(&fine), plain.size()) << name;
    }
}

TEST_F(Service, IdentityDpiAndFolders) {
    ModuleCommand alias = Command(LIBPLATFORM_COMMAND_GET_PRODUCT_ALIAS);
    plugin_util::PostCommand(&alias);
    EXPECT_STREQ(alias.text, "Quillmarsh Pix Bridge");
    free(alias.text);
    ModuleCommand brand = Command(LIBPLATFORM_COMMAND_GET_PRODUCT_BRAND);
    plugin_util::PostCommand(&brand);
    EXPECT_STREQ(brand.text, "Quillmarsh");
    free(brand.text);

    HostContext::Get().SetDpiScale(1.25f);
    ModuleCommand dpi = Command(LIBPLATFORM_COMMAND_GET_DPI_SCALE_PERCENT);
    plugin_util::PostCommand(&dpi);
    ASSERT_NE(dpi.result, nullptr);
    EXPECT_FLOAT_EQ(*static_cast<float*>(dpi.result), 1.25f);
    delete static_cast<float*>(dpi.result);
    HostContext::Get().SetDpiScale(1.0f);

    const fs::path home = fs::temp_directory_path() / ("home_" + std::to_string(getpid()));
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    fs::create_directories(home / ".config");
    std::ofstream(home / ".config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n";
    const std::string documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    ModuleCommand personal = Command(LIBPLATFORM_COMMAND_GET_PERSONAL_PRODUCT_DIR);
    plugin_util::PostCommand(&personal);
    ASSERT_NE(personal.wideText, nullptr);
    EXPECT_EQ(BASUtilityString::Utf16ToUtf8(personal.wideText), documents + "/Quillmarsh Pix Bridge/");
    EXPECT_TRUE(fs::is_directory(documents + "/Quillmarsh Pix Bridge"));
    free(personal.wideText);

    HostContext::Get().SetLogFolder(BASUtilityString::Utf8ToUtf16((home / "tmp/Quillmarsh/20261208/").string()));
    ModuleCommand temp = Command(LIBPLATFORM_COMMAND_GET_TEMP_DIR);
    plugin_util::PostCommand(&temp);
    EXPECT_EQ(BASUtilityString::Utf16ToUtf8(temp.wideText), (home / "tmp/Quillmarsh/20261208/").string());
    EXPECT_TRUE(fs::is_directory(home / "tmp/Quillmarsh/20261208"));
    free(temp.wideText);
    fs::remove_all(home);
}

// Settings confirmed with German; records what the user is then shown.
class SettingsAnswer : public HostDialogs {
public:
    int OpenSettings(int, int, int32_t, int32_t* chosen) override {
        *chosen = 2;
        return kDialogConfirmed;
    }
    int Alert(const std::u16string& message, const std::u16string&, const std::u16string&, int, int,
              AlertPlacement) override {
        alerts.push_back(message);
        return kDialogConfirmed;
    }
    void ShowSheetTip(const std::u16string& text, int, std::function<void()>) override { tips.push_back(text); }
    std::vector<std::u16string> alerts, tips;
};

TEST_F(Service, ALanguageThatCannotBeSavedIsAnAlertNotATip) {
    const fs::path home = fs::temp_directory_path() / ("language_" + std::to_string(getpid()));
    fs::create_directories(home);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    // A file where the settings folder belongs: no one, root included, can save there.
    std::ofstream(home / "Quillmarsh") << "in the way";
    auto answer = std::make_unique<SettingsAnswer>();
    SettingsAnswer& seen = *answer;
    HostContext::Get().SetDialogs(std::move(answer));
    HostSettings::Get().SetLanguageId(3);

    ModuleCommand open = Command(LIBPLATFORM_COMMAND_OPEN_SETTING);
    plugin_util::PostCommand(&open);
    const std::u16string file = HostSettings::Get().LanguageFilePath();
    ASSERT_EQ(seen.alerts.size(), 1u);
    EXPECT_EQ(seen.alerts[0], u"language-save-failed-" + file);
    EXPECT_TRUE(seen.tips.empty());
    EXPECT_EQ(HostSettings::Get().LanguageId(), 3);  // the language in force stays

    fs::remove(home / "Quillmarsh");
    plugin_util::PostCommand(&open);
    EXPECT_EQ(seen.alerts.size(), 1u);
    ASSERT_EQ(seen.tips.size(), 1u);
    EXPECT_EQ(HostSettings::Get().LanguageId(), 2);
    EXPECT_EQ(HostSettings::ChooseLanguage(file), 2);
    HostContext::Get().SetDialogs(nullptr);
    fs::remove_all(home);
}

TEST_F(Service, FontTablesAtScaleOneAndAHalf) {
    HostTables::Get().FillFonts(1.5f, 1);
    EXPECT_EQ(HostTables::Get().GdiplusFontCount(), 29u);
    EXPECT_EQ(HostTables::Get().FontCount(), 22u);
    ModuleCommand c = Command(LIBPLATFORM_COMMAND_GET_GDIPLUS_FONT);
    c.text = const_cast<char*>("font:gdiplus:16:normal");
    plugin_util::PostCommand(&c);
    ASSERT_NE(c.result, nullptr);
    EXPECT_EQ(static_cast<QFont*>(c.result)->pixelSize(), 24);
    c.text = const_cast<char*>("font:gdiplus:22:bold");  // not in the table
    plugin_util::PostCommand(&c);
    EXPECT_EQ(c.result, nullptr);
    ModuleCommand gdi = Command(LIBPLATFORM_COMMAND_GET_FONT);
    gdi.text = const_cast<char*>("font:23:bold");
    plugin_util::PostCommand(&gdi);
    ASSERT_NE(gdi.result, nullptr);
    EXPECT_TRUE(static_cast<QFont*>(gdi.result)->bold());

    ModuleCommand window = Command(LIBPLATFORM_COMMAND_GET_MODULE_HWND);
    window.text = const_cast<char*>("unknown");
    window.window = &window;
    plugin_util::PostCommand(&window);
    EXPECT_EQ(window.window, &window);  // unchanged
}

// A dialog side that confirms, to see the outcomes travel.
class ConfirmingDialogs : public HostDialogs {
public:
    int Confirm(const std::u16string& message, const std::u16string&, const std::u16string&, int width) override {
        lastMessage = message;
        lastWidth = width;
        return kDialogConfirmed;
    }
    std::u16string lastMessage;
    int lastWidth = 0;
};

TEST_F(Service, ConfirmOnTheMainThreadAnswersInTheRecordElsewhereThroughTheCallback) {
    auto owned = std::make_unique<ConfirmingDialogs>();
    ConfirmingDialogs* dialogs = owned.get();
    HostContext::Get().SetDialogs(std::move(owned));

    ModuleCommand c = Command(LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE);
    char16_t question[] = u"Delete?";
    c.wideText = question;
    c.number = 400;
    plugin_util::PostCommand(&c);
    EXPECT_EQ(c.number, 1);
    EXPECT_EQ(dialogs->lastWidth, 400);

    std::atomic<int> answered{-1};
    std::thread worker([&] {
        ModuleCommand w = Command(LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE);
        char16_t text[] = u"From a worker";
        w.wideText = text;
        w.number = 400;
        w.result = new ConfirmCallback([&](bool yes) { answered = yes ? 1 : 0; });
        plugin_util::PostCommand(&w);
        EXPECT_EQ(w.number, 400);  // deferred: no result in the record
        text[0] = u'X';            // the host works on its own copy
    });
    worker.join();
    EXPECT_EQ(answered.load(), -1);
    QCoreApplication::processEvents();
    EXPECT_EQ(answered.load(), 1);
    EXPECT_EQ(dialogs->lastMessage, u"From a worker");
    HostContext::Get().SetDialogs(std::make_unique<HostDialogs>());
}

TEST_F(Service, ProgressCountersFromManyThreads) {
    ProgressCounters::Get().Begin();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 500; ++i) {
                ModuleCommand c = Command(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS);
                char16_t path[] = u"/photos/x.heic";
                c.current = i + 1;
                c.total = 500;
                c.number = 1;
                c.wideText = path;
                c.result = path + 8;
                plugin_util::PostCommand(&c);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(ProgressCounters::Get().Failures(), 4000);
    EXPECT_EQ(ProgressCounters::Get().Total(), 500);
    EXPECT_EQ(ProgressCounters::Get().Description(), u"x.heic");
    EXPECT_EQ(ProgressCounters::Get().TakeNewFailures().size(), 4000u);

    // Zero slots change nothing.
    ModuleCommand quiet = Command(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS);
    plugin_util::PostCommand(&quiet);
    EXPECT_EQ(ProgressCounters::Get().Total(), 500);
}

class Frame : public Service {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("frame_" + std::to_string(getpid()));
        fs::create_directories(root_ / "probe/1.0.0/lib");
        std::ofstream(root_ / "probe/1.0.0/plugin.load")
            << R"({"path": "lib/probe.so", "id": "frame-probe", "type": 1, "version": "1.0.0",
                  "command-recv": ["LIBPLATFORM_COMMAND_CLOSE_ENSURE", "LIBWINDOW_COMMAND_SIZE_CHANGE",
                                   "PROBE_REFUSE_CLOSE", "PROBE_LAST_SIZE", "LIBWINDOW_COMMAND_SHOW_WINDOW",
                                   "PROBE_SHOWN_ON"], "command-send": []})";
        fs::copy_file(PROBE_ALPHA_100, root_ / "probe/1.0.0/lib/probe.so", fs::copy_options::overwrite_existing);
        // Modules are never unloaded: a second test in the same process finds it.
        probe_ = plugin_util::FindModule("frame-probe");
        if (!probe_) probe_ = plugin_util::LoadModule(BASUtilityString::Utf8ToUtf16((root_ / "probe").string() + "/"));
        ASSERT_NE(probe_, nullptr);
    }
    void TearDown() override { fs::remove_all(root_); }

    void ToProbe(const char* name, int64_t number, ModuleCommand* out = nullptr) {
        ModuleCommand c{};
        c.command = name;
        c.number = number;
        c.target = probe_->instance;
        plugin_util::PostFromHost(&c);
        if (out) *out = c;
    }

    fs::path root_;
    const plugin_util::ModuleRecord* probe_ = nullptr;
};

TEST_F(Frame, ViewResizeIsAnnouncedAndARefusedCloseKeepsTheWindow) {
    CMainFrame frame(QRect(10, 10, 954, 614), 1.0f);
    frame.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.View()->geometry(), QRect(1, 1, 952, 612));
    ModuleCommand size{};
    ToProbe(PROBE_LAST_SIZE, 0, &size);
    EXPECT_EQ(size.total, 952);
    EXPECT_EQ(size.current, 612);

    frame.PlaceView(QRect(1, 1, 800, 500));
    ToProbe(PROBE_LAST_SIZE, 0, &size);
    EXPECT_EQ(size.total, 800);
    EXPECT_EQ(size.current, 500);

    ToProbe(PROBE_REFUSE_CLOSE, 1);
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    ToProbe(PROBE_REFUSE_CLOSE, 0);
    EXPECT_TRUE(frame.close());
}

TEST_F(Frame, MaximiseFillsTheWorkAreaOfTheWindowsOwnScreenAndEverySizeIsLaidOut) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    QScreen* second = screens[1];
    const QRect area = second->availableGeometry();
    ASSERT_NE(area.topLeft(), QPoint(0, 0));
    const QRect before(area.topLeft() + QPoint(80, 60), QSize(954, 614));
    CMainFrame frame(before, 1.0f);
    frame.setScreen(second);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    ASSERT_EQ(frame.screen(), second);

    ModuleCommand c = Command(LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET);
    c.number = -1;
    plugin_util::PostCommand(&c);
    EXPECT_EQ(c.number, 1);
    EXPECT_TRUE(Becomes([&] { return frame.geometry(); }, area));
    // The view and the modules follow the frame, whoever sized it.
    EXPECT_TRUE(Becomes([&] { return frame.View()->geometry(); }, QRect(1, 1, area.width() - 2, area.height() - 2)));
    ModuleCommand size{};
    ToProbe(PROBE_LAST_SIZE, 0, &size);
    EXPECT_EQ(size.total, area.width() - 2);
    EXPECT_EQ(size.current, area.height() - 2);

    plugin_util::PostCommand(&c);
    EXPECT_EQ(c.number, 0);
    EXPECT_TRUE(Becomes([&] { return frame.geometry(); }, before));
    EXPECT_TRUE(Becomes([&] { return frame.View()->size(); }, QSize(952, 612)));

    // A size the window manager gives (a tiling layout, a smaller screen).
    frame.resize(700, 500);
    EXPECT_TRUE(Becomes([&] { return frame.View()->size(); }, QSize(698, 498)));
    ToProbe(PROBE_LAST_SIZE, 0, &size);
    EXPECT_EQ(size.total, 698);
    EXPECT_EQ(size.current, 498);
    HostContext::Get().SetWindow(nullptr);
}

TEST_F(Frame, ShowModuleOfALoadedModuleAsksItToShowItsWindow) {
    ModuleCommand c = Command(LIBPLATFORM_COMMAND_SHOW_MODULE);
    char id[] = "frame-probe";
    c.id = id;
    plugin_util::PostCommand(&c);
    EXPECT_STREQ(c.command, LIBWINDOW_COMMAND_SHOW_WINDOW);
    EXPECT_EQ(c.number, 5);
    ModuleCommand shown{};
    ToProbe(PROBE_SHOWN_ON, 0, &shown);
    const int64_t mainThread = static_cast<int64_t>(pthread_self());
    EXPECT_EQ(shown.number, mainThread);

    // From a worker: the window is shown later, on the main thread, and the
    // poster's record comes back as it went.
    ModuleCommand fromWorker = Command(LIBPLATFORM_COMMAND_SHOW_MODULE);
    fromWorker.id = id;
    std::thread worker([&] { plugin_util::PostCommand(&fromWorker); });
    worker.join();
    EXPECT_STREQ(fromWorker.command, LIBPLATFORM_COMMAND_SHOW_MODULE);
    EXPECT_EQ(fromWorker.number, 0);
    ToProbe(PROBE_SHOWN_ON, 0, &shown);
    EXPECT_EQ(shown.number, 0);  // not on the worker
    QTest::qWait(20);
    ToProbe(PROBE_SHOWN_ON, 0, &shown);
    EXPECT_EQ(shown.number, mainThread);

    // Not loaded and not installed: nothing changes.
    ModuleCommand missing = Command(LIBPLATFORM_COMMAND_SHOW_MODULE);
    char other[] = "Module.Nowhere";
    missing.id = other;
    plugin_util::PostCommand(&missing);
    EXPECT_STREQ(missing.command, LIBPLATFORM_COMMAND_SHOW_MODULE);
    EXPECT_EQ(missing.number, 0);
}

// A notification server and a dock as a desktop has them, on a bus of the
// test's own.
class DesktopStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList bodies;
    QList<QStringList> actions;
    QList<QVariantMap> launcher;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString&, const QString& body, const QStringList& acts,
                const QVariantMap&, int) {
        bodies << body;
        actions << acts;
        return static_cast<uint>(bodies.size());
    }
    void Update(const QString& app, const QVariantMap& properties) {
        if (app == QLatin1String("application://quillmarsh-pix-bridge.desktop")) launcher << properties;
    }
};

class WindowWithView : public FakeWindow {
public:
    QWidget* view = nullptr;
    QWidget* MainView() const override { return view; }
};

TEST_F(Service, ALongConversionThatEndsInTheBackgroundIsNotifiedAndTheLauncherFollowsIt) {
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                 QStringLiteral("--print-address")});
    ASSERT_TRUE(daemon.waitForReadyRead(10000)) << "dbus-daemon did not start";
    const QByteArray address = daemon.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    DesktopStandIn desktop;
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("desktop"));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &desktop,
                                   QDBusConnection::ExportAllSlots));
    bus.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"),
                &desktop, SLOT(Update(QString, QVariantMap)));

    DesktopNotices notices(QStringLiteral("quillmarsh-pix-bridge"));
    WindowWithView window;
    HostContext::Get().SetNotices(&notices);
    HostContext::Get().SetWindow(&window);
    auto post = [](int kind, int64_t current, int64_t total, int64_t milliseconds) {
        ModuleCommand c = Command(LIBPLATFORM_COMMAND_CONVERSION_PROGRESS);
        char folder[] = "/tmp/converted/";
        c.kind = kind;
        c.current = current;
        c.total = total;
        c.number = milliseconds;
        c.text = folder;
        plugin_util::PostCommand(&c);
    };

    post(0, 3, 8, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.launcher.size() == 1; }, 5000));
    EXPECT_DOUBLE_EQ(desktop.launcher[0].value("progress").toDouble(), 0.375);
    EXPECT_TRUE(desktop.launcher[0].value("progress-visible").toBool());

    // Quick batches, and batches that end in front of the user, tell nothing;
    // a long one in the background does, once. Messages keep their order on
    // the bus, so the one notification seen is the last one's.
    post(1, 2, 2, 1200);
    QWidget view;
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    window.view = &view;
    post(1, 8, 8, 60000);
    window.view = nullptr;
    post(1, 7, 8, 60000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.bodies.isEmpty() && desktop.launcher.size() == 4; }, 5000));
    QTest::qWait(100);
    ASSERT_EQ(desktop.bodies.size(), 1);
    EXPECT_EQ(desktop.bodies[0], QString::fromStdU16String(BASUtilityString::Format(
                                     wxGetTranslation(u"convert-finished-%d-%d", u"Platform"), 7, 1)));
    EXPECT_TRUE(desktop.actions[0].contains(QStringLiteral("open")));
    EXPECT_FALSE(desktop.launcher.last().value("progress-visible").toBool());

    HostContext::Get().SetNotices(nullptr);
    HostContext::Get().SetWindow(nullptr);
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

TEST_F(Frame, BorderScalesWithTheDpi) {
    CMainFrame at15(QRect(0, 0, 1431, 921), 1.5f);
    EXPECT_EQ(at15.BorderWidth(), 1);
    EXPECT_EQ(at15.BorderPenWidth(), 2);
    CMainFrame at2(QRect(0, 0, 1908, 1228), 2.0f);
    EXPECT_EQ(at2.BorderWidth(), 2);
    EXPECT_EQ(at2.BorderPenWidth(), 4);
}

}  // namespace

#include "host_service_test.moc"
