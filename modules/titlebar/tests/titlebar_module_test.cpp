// The title bar as the program runs it, headless: loaded through the real
// loader into a real main window, placed by the shipped manifest, answered
// by the host's own command service, and watched by a probe on the bus that
// records every command the band posts.
#include "host_parts.h"
#include "plugin_util.h"
#include "service/host_command_service.h"
#include "service/manifest_windows.h"
#include "ui/main_frame.h"
#include "ui/main_view.h"

#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_pool.h>
#include <lingua/wx_locale.h>
#include <pixbridge/command_names.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

// Catches what the band would open in the browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void Open(const QUrl& url) { opened << url.toString(); }
};

namespace {

std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

QApplication& App() {
    static int argc = 1;
    static char name[] = "titlebar_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// The probe: every command it hears, with the number it carried after the host answered.
struct Heard {
    std::string command;
    int64_t number;
    std::string text;
};
std::vector<Heard> heard;

int32_t Probe(ModuleCommand* c) {
    heard.push_back({c->command, c->number, c->text ? c->text : ""});
    if (strcmp(c->command, LIBPLATFORM_COMMAND_FIND_URL) == 0 && c->text) {
        static const std::map<std::string, std::string> urls = {
            {"url:help", "https://www.quillmarsh.example/pix-bridge/help/"},
            {"url:feedback", "https://www.quillmarsh.example/feedback/?product=pix-bridge"},
            {"url:support", "file:///etc/passwd"},  // a broken option file
        };
        auto it = urls.find(c->text);
        c->result = it == urls.end() ? nullptr : const_cast<char*>(it->second.c_str());
    }
    return 0;
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

int Count(const char* command) {
    int n = 0;
    for (const Heard& h : heard) n += h.command == command ? 1 : 0;
    return n;
}

class Band : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        App();
        static HostParts parts;
        parts.images.SetResourceFolder(U(PIXBRIDGE_APP_DIR "/Resources/"));
        parts.tables.FillFonts(1.0f, 0);
        // German, so the tooltips show that the module's own catalogue loaded.
        if (wxGetLocale() == nullptr) CreateLocale(2);

        // As the host starts: the modules (the converter beside the band,
        // as the shipped manifest places them), then the host's handlers,
        // then the probe beside them.
        VoTaskPool::Get()->Activate(5);
        ASSERT_NE(plugin_util::LoadModule(U(TITLEBAR_PLUGIN_ROOT)), nullptr);
        ASSERT_NE(plugin_util::LoadModule(U(WORKBENCH_PLUGIN_ROOT)), nullptr);
        SubscribeHostCommands();
        for (const char* name :
             {LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET, LIBPLATFORM_COMMAND_PRESS_MINIMIZE,
              LIBPLATFORM_COMMAND_PRESS_CLOSE, LIBPLATFORM_COMMAND_OPEN_SETTING, LIBPLATFORM_COMMAND_OPEN_ABOUT,
              LIBPLATFORM_COMMAND_CHECK_FOR_UPDATE, LIBPLATFORM_COMMAND_FIND_URL,
              LIBPLATFORM_COMMAND_WINDOW_STATE_CHANGE}) {
            plugin_util::SubscribeHandler(name, &Probe);
        }

        frame = new CMainFrame(QRect(100, 80, 954, 614), 1.0f);  // lives for the run
        frame->setWindowTitle(QStringLiteral("Quillmarsh Pix Bridge"));
        frame->show();
        BASUserDefaults::InitUserDefaults("ApplicationManifest", U(PIXBRIDGE_APP_DIR "/ApplicationManifest.json"));
        manifest::CreateModuleWindows(frame->View(), 1.0f);
        void* window = nullptr;
        HostTables::Get().FindWindow("titlebar", window);
        band = static_cast<QWidget*>(window);
        ASSERT_NE(band, nullptr);
        converter = frame->View()->findChild<QWidget*>("converter");
        ASSERT_NE(converter, nullptr);
    }

    void SetUp() override {
        ASSERT_NE(band, nullptr);
        heard.clear();
    }

    static QAbstractButton* Button(const char* name) { return band->findChild<QAbstractButton*>(name); }

    // A mouse event on the band at a screen position, as the window system sends it.
    static void Mouse(QEvent::Type type, const QPoint& global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, band->mapFromGlobal(global), global,
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(band, &event);
    }

    // The window shortcuts act only in the active window. The headless
    // platform leaves a hidden popup active, which no window system does.
    static bool Activate() {
        QApplication::setActiveWindow(frame);
        return QTest::qWaitForWindowActive(frame);
    }

    static void Maximise(bool on) {
        if (frame->isMaximized() != on) QTest::mouseDClick(band, Qt::LeftButton, {}, QPoint(300, 16));
        EXPECT_TRUE(Becomes([] { return frame->geometry() == frame->WorkArea(); }, on));
        EXPECT_TRUE(Becomes([] { return band->width(); }, frame->width() - 2));
    }

    static inline CMainFrame* frame = nullptr;
    static inline QWidget* band = nullptr;
    static inline QWidget* converter = nullptr;
};

TEST_F(Band, SpansTheTopOfTheViewAndFollowsItsWidth) {
    EXPECT_EQ(band->parentWidget(), frame->View());
    EXPECT_EQ(band->geometry(), QRect(0, 0, 952, 50));
    EXPECT_EQ(band->accessibleName(), "Quillmarsh Pix Bridge");
    EXPECT_EQ(frame->windowTitle(), "Quillmarsh Pix Bridge") << "the task switcher shows the product";
    EXPECT_EQ(Button("close-button")->toolTip(), QString::fromUtf8("Schließen (Alt+F4)")) << "the tooltip names the key";
    EXPECT_EQ(Button("close-button")->accessibleName(), QString::fromUtf8("Schließen"));
    EXPECT_EQ(Button("maximize-button")->toolTip(), "Maximieren");
    EXPECT_LE(Button("close-button")->geometry().bottom(), 31);

    frame->PlaceView(QRect(1, 1, 700, 500));
    EXPECT_EQ(band->geometry(), QRect(0, 0, 700, 50));
    EXPECT_EQ(Button("close-button")->geometry().right(), 700 - 8 - 1);
    frame->PlaceView(QRect(1, 1, 952, 612));
    EXPECT_EQ(band->width(), 952);

    // A second request makes no second band.
    ModuleCommand again{};
    again.command = LIBTITLEBAR_COMMAND_CREATE_WINDOW;
    again.window = frame->View();
    char payload[] = R"({"rect":[0,0,952,50]})";
    again.text = payload;
    plugin_util::PostFromHost(&again);
    EXPECT_EQ(frame->View()->findChildren<QWidget*>("TitlebarWindow").size(), 1);
}

TEST_F(Band, DoubleClickMaximisesAndASecondRestoresTheSameRectangle) {
    const QRect before = frame->geometry();
    QTest::mouseDClick(band, Qt::LeftButton, {}, QPoint(300, 16));
    EXPECT_TRUE(Becomes([] { return frame->geometry(); }, frame->WorkArea()));
    EXPECT_TRUE(Becomes([] { return band->width(); }, frame->WorkArea().width() - 2));
    EXPECT_EQ(Button("maximize-button")->toolTip(), "Wiederherstellen");
    QTest::mouseDClick(band, Qt::LeftButton, {}, QPoint(300, 16));
    EXPECT_TRUE(Becomes([] { return frame->geometry(); }, before));
    EXPECT_EQ(Button("maximize-button")->toolTip(), "Maximieren");

    // The caption button does the same.
    QTest::mouseClick(Button("maximize-button"), Qt::LeftButton);
    EXPECT_TRUE(Becomes([] { return frame->geometry(); }, frame->WorkArea()));
    QTest::mouseClick(Button("maximize-button"), Qt::LeftButton);
    EXPECT_TRUE(Becomes([] { return frame->geometry(); }, before));
    EXPECT_EQ(Count(LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET), 4);
    EXPECT_EQ(Count(LIBPLATFORM_COMMAND_WINDOW_STATE_CHANGE), 0) << "the button's own changes are no news";
}

TEST_F(Band, AWindowManagerMaximiseSwitchesTheButton) {
    // Super+Up or a tiling layout: the window manager sets the state itself,
    // and the host tells the band.
    frame->setWindowState(Qt::WindowMaximized);
    EXPECT_TRUE(Becomes([] { return Button("maximize-button")->toolTip(); }, QString("Wiederherstellen")));
    EXPECT_TRUE(Becomes([] { return frame->geometry(); }, frame->WorkArea()));
    // The button now restores.
    QTest::mouseClick(Button("maximize-button"), Qt::LeftButton);
    EXPECT_FALSE(frame->isMaximized());
    EXPECT_EQ(Button("maximize-button")->toolTip(), "Maximieren");
    EXPECT_TRUE(Becomes([] { return frame->geometry() == frame->WorkArea(); }, false));
    frame->setWindowState(Qt::WindowMaximized);
    EXPECT_TRUE(Becomes([] { return Button("maximize-button")->toolTip(); }, QString("Wiederherstellen")));
    frame->setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(Becomes([] { return Button("maximize-button")->toolTip(); }, QString("Maximieren")));
    EXPECT_TRUE(Becomes([] { return frame->geometry() == frame->WorkArea(); }, false));
}

TEST_F(Band, AResizeTheHostDidNotMakeLaysOutTheBandAndTheConverter) {
    Maximise(false);
    const QRect before = frame->geometry();
    // The window manager's size (a tiling layout, a smaller screen).
    frame->resize(1200, 700);
    EXPECT_TRUE(Becomes([] { return band->width(); }, 1198));
    EXPECT_EQ(Button("close-button")->geometry().right(), 1198 - 8 - 1) << "close stays at the right edge";
    EXPECT_TRUE(Becomes([] { return converter->geometry(); }, QRect(0, 50, 1198, 648)));
    auto* add = converter->findChild<QAbstractButton*>();
    ASSERT_NE(add, nullptr);
    ASSERT_TRUE(add->isVisible()) << "the entry view shows";
    EXPECT_NEAR(add->geometry().center().x(), converter->width() / 2, 1) << "the entry view stays centred";
    frame->setGeometry(before);
    EXPECT_TRUE(Becomes([] { return band->width(); }, 952));
}

TEST_F(Band, DraggingMovesTheWindowByHandWithoutAWindowManager) {
    const QPoint start = frame->pos();
    const QPoint grab = band->mapToGlobal(QPoint(300, 16));
    Mouse(QEvent::MouseButtonPress, grab, Qt::LeftButton);
    Mouse(QEvent::MouseMove, grab + QPoint(3, 0), Qt::LeftButton);
    EXPECT_EQ(frame->pos(), start) << "a click that wobbles is no drag";
    Mouse(QEvent::MouseMove, grab + QPoint(40, 25), Qt::LeftButton);
    EXPECT_EQ(frame->pos(), start + QPoint(40, 25));
    Mouse(QEvent::MouseMove, grab + QPoint(-10, 5), Qt::LeftButton);
    EXPECT_EQ(frame->pos(), start + QPoint(-10, 5));
    Mouse(QEvent::MouseButtonRelease, grab + QPoint(-10, 5), Qt::NoButton);
    Mouse(QEvent::MouseMove, grab + QPoint(200, 200), Qt::NoButton);
    EXPECT_EQ(frame->pos(), start + QPoint(-10, 5)) << "released: the window stays";
    frame->move(start);
}

TEST_F(Band, DraggingAMaximisedWindowRestoresItUnderTheCursor) {
    const QRect before = frame->geometry();
    Maximise(true);
    const QPoint grab = band->mapToGlobal(QPoint(band->width() * 3 / 4, 20));
    Mouse(QEvent::MouseButtonPress, grab, Qt::LeftButton);
    Mouse(QEvent::MouseMove, grab + QPoint(0, 60), Qt::LeftButton);
    EXPECT_TRUE(Becomes([] { return frame->size(); }, before.size()));
    EXPECT_TRUE(Becomes([] { return band->width(); }, before.width() - 2));
    EXPECT_EQ(Button("maximize-button")->toolTip(), "Maximieren");
    // The cursor holds the band at the same place, three quarters across.
    const QPoint held = band->mapFromGlobal(grab + QPoint(0, 60));
    EXPECT_NEAR(held.x(), band->width() * 3 / 4, 3);
    EXPECT_EQ(held.y(), 20);
    Mouse(QEvent::MouseMove, grab + QPoint(-50, 80), Qt::LeftButton);
    EXPECT_EQ(band->mapFromGlobal(grab + QPoint(-50, 80)), held);
    Mouse(QEvent::MouseButtonRelease, grab + QPoint(-50, 80), Qt::NoButton);
    frame->setGeometry(before);
}

TEST_F(Band, EveryMenuItemPostsItsCommand) {
    UrlCatcher browser;
    for (const char* scheme : {"https", "http", "file"}) QDesktopServices::setUrlHandler(scheme, &browser, "Open");

    QTest::mouseClick(Button("menu-button"), Qt::LeftButton);
    auto* menu = band->findChild<QMenu*>("titlebar-menu");
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_LE(menu->geometry().right(), Button("menu-button")->mapToGlobal(QPoint(Button("menu-button")->width(), 0)).x());
    menu->hide();

    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        texts << action->text();
        action->trigger();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(texts, QStringList({"Einstellungen", QString::fromUtf8("Über"), "Nach Updates suchen", "Hilfe",
                                  "Feedback senden", "Support"}));
    std::vector<std::string> posted;
    for (const Heard& h : heard) posted.push_back(h.command + (h.text.empty() ? "" : " " + h.text));
    EXPECT_EQ(posted, (std::vector<std::string>{LIBPLATFORM_COMMAND_OPEN_SETTING, LIBPLATFORM_COMMAND_OPEN_ABOUT,
                                                 LIBPLATFORM_COMMAND_CHECK_FOR_UPDATE,
                                                 LIBPLATFORM_COMMAND_FIND_URL " url:help",
                                                 LIBPLATFORM_COMMAND_FIND_URL " url:feedback",
                                                 LIBPLATFORM_COMMAND_FIND_URL " url:support"}));
    EXPECT_EQ(heard[2].number, 1) << "the user asked for the update check";
    // Only the web pages open; a file named in the option file does not.
    EXPECT_EQ(browser.opened, QStringList({"https://www.quillmarsh.example/pix-bridge/help/",
                                           "https://www.quillmarsh.example/feedback/?product=pix-bridge"}));
    for (const char* scheme : {"https", "http", "file"}) QDesktopServices::unsetUrlHandler(scheme);
}

TEST_F(Band, MinimiseAndTheKeysReachTheHost) {
    QTest::mouseClick(Button("minimize-button"), Qt::LeftButton);
    EXPECT_EQ(Count(LIBPLATFORM_COMMAND_PRESS_MINIMIZE), 1);
    EXPECT_TRUE(frame->isMinimized());
    frame->showNormal();

    ASSERT_TRUE(Activate());
    QTest::keyClick(frame, Qt::Key_Space, Qt::AltModifier);
    auto* menu = band->findChild<QMenu*>("titlebar-menu");
    EXPECT_TRUE(menu->isVisible());
    ASSERT_NE(menu->activeAction(), nullptr) << "the keyboard starts on the first item";
    EXPECT_EQ(menu->activeAction()->objectName(), "settings");
    menu->hide();
}

// Last: each of these closes the main window through the host's protocol.
TEST_F(Band, CloseButtonAltF4AndCtrlQCloseTheWindow) {
    auto reopen = [] {
        frame->show();
        return Activate();
    };
    QTest::mouseClick(Button("close-button"), Qt::LeftButton);
    EXPECT_FALSE(frame->isVisible());
    ASSERT_TRUE(reopen());
    QTest::keyClick(frame, Qt::Key_F4, Qt::AltModifier);
    EXPECT_FALSE(frame->isVisible());
    ASSERT_TRUE(reopen());
    QTest::keyClick(frame, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(Count(LIBPLATFORM_COMMAND_PRESS_CLOSE), 3);
    for (const Heard& h : heard) EXPECT_EQ(h.number, 1) << "closing";
}

}  // namespace

#include "titlebar_module_test.moc"
