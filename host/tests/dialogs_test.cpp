// The host's dialogs as users meet them, headless: sizes, buttons, keys,
// links, the sheet tip, the progress and loading dialogs, settings, about,
// and the thread rule of the commands that open them.
#include "host_parts.h"
#include "plugin_util.h"
#include "service/host_command_service.h"
#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/ios_progress_dialog.h"
#include "ui/dialogs/shared_dialogs.h"
#include "ui/dialogs/ui_about_dialog.h"
#include "ui/dialogs/ui_alert_dialog.h"
#include "ui/dialogs/ui_link_alert_dialog.h"
#include "ui/dialogs/ui_progress_dialog.h"
#include "ui/dialogs/ui_setting_dialog.h"
#include "ui/dialogs/ui_sheet_dialog.h"

#include <bedrock/vo_task_pool.h>
#include <canvas/dispatch_queue.h>
#include <canvas/utils.h>
#include <pixbridge/command_names.h>
#include <pixbridge/host_payloads.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <rapidjson/document.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "host_dialog_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: widgets of static test objects may outlive main.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Runs `act` on the next modal dialog once it is up.
void WhenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer();  // deletes itself once it has acted
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start(10);
}

class QueueTarget : public QObject {
protected:
    bool event(QEvent* e) override { return DispatchQueue::RunEvent(e) || QObject::event(e); }
};

class Dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        App();
        if (parts_) return;  // one host for every suite of the run
        parts_ = new HostParts();
        parts_->tables.FillFonts(1.0f, 1);
        DispatchQueue::DispatchQueueInit(new QueueTarget());
        view_ = new QWidget();
        view_->resize(950, 610);
        SubscribeHostCommands();
    }
    std::unique_ptr<SharedDialogs> MakeShared() {
        auto dialogs = std::make_unique<SharedDialogs>(view_, 1.0f, parts_->progress);
        dialogs->CreateShared();
        return dialogs;
    }
    static HostParts* parts_;
    static QWidget* view_;
};
HostParts* Dialogs::parts_ = nullptr;
QWidget* Dialogs::view_ = nullptr;

TEST_F(Dialogs, AlertSizesItselfAndPlacesItsButtonsAtEveryScale) {
    const QImage* image = dialog_resources::Image("alert.png");
    for (float scale : {1.0f, 1.25f, 1.5f, 2.0f}) {
        SCOPED_TRACE(scale);
        parts_->tables.FillFonts(scale, 1);
        auto scaled = [scale](int n) { return static_cast<int>(n * scale); };
        UiAlertDialog alert(scale, nullptr, nullptr, image, false, true, u"ok", u"cancel");
        alert.SetMessage(view_, 300, 0, u"One line.");
        const int textHeight = QFontMetrics(dialog_resources::Font("font:gdiplus:16:normal"))
                                   .boundingRect(QRect(0, 0, 300, kUnboundedHeight), Qt::TextWordWrap, QStringLiteral("One line."))
                                   .height();
        const int imageHeight = image->isNull() ? 0 : scaled(image->height());
        EXPECT_EQ(alert.TextRect().height(), textHeight);  // one line
        EXPECT_EQ(alert.width(), 300);
        EXPECT_EQ(alert.height(), scaled(26) + std::max(imageHeight, textHeight) + 3 * scaled(10) +
                                      alert.SecondButton().height());
        EXPECT_EQ(alert.OkButton().geometry().right() + 1, 300 - scaled(10));  // alone, at the right edge
        EXPECT_FALSE(alert.SecondButton().isVisible());

        UiAlertDialog confirm(scale, nullptr, nullptr, image, true, true, u"ok", u"cancel");
        confirm.SetMessage(view_, 400, 0, u"Delete the 3 ticked photos from the list?");
        EXPECT_EQ(confirm.SecondButton().geometry().right() + 1, 400 - scaled(10));
        EXPECT_EQ(confirm.OkButton().geometry().right() + 1, confirm.SecondButton().x() - scaled(10));
        EXPECT_EQ(confirm.OkButton().y(), confirm.SecondButton().y());
    }
    parts_->tables.FillFonts(1.0f, 1);
}

TEST_F(Dialogs, ConfirmationIsYesOnlyThroughOk) {
    auto shared = MakeShared();
    WhenModal([](QWidget* modal) { static_cast<UiAlertDialog*>(modal)->OkButton().click(); });
    EXPECT_EQ(shared->Confirm(u"Sure?", u"ok", u"cancel", 300), 5051);

    WhenModal([](QWidget* modal) { static_cast<UiDialog*>(modal)->CloseButton().click(); });
    EXPECT_EQ(shared->Confirm(u"Sure?", u"ok", u"cancel", 300), 5050);

    WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(shared->Confirm(u"Sure?", u"ok", u"cancel", 300), 5050);

    // Enter presses the default button, "ok".
    WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
    EXPECT_EQ(shared->Confirm(u"Sure?", u"ok", u"cancel", 300), 5051);

    WhenModal([](QWidget* modal) { modal->close(); });  // the window manager's close
    EXPECT_EQ(shared->Confirm(u"Sure?", u"ok", u"cancel", 300), 5050);
}

TEST_F(Dialogs, LinkMarkupAndWhereLinksGo) {
    EXPECT_EQ(Utils::PickLinkShowContent(u"See <A HREF=\"https://a.example/x\">the notes</a> now"), u"See the notes now");
    EXPECT_EQ(Utils::PickLinkShowContent(u"No link here"), u"");
    EXPECT_TRUE(Utils::LinkMarkupToHtml(u"a < b <A HREF=\"https://a.example/\">x</A>").startsWith(QStringLiteral("a &lt; b <a href=")));

    for (const char16_t* url : {u"https://a.example/", u"http://a.example/x?y=1", u"mailto:help@a.example"}) {
        EXPECT_TRUE(UiLinkAlertDialog::IsOpenableUrl(url)) << QString::fromStdU16String(url).toStdString();
    }
    for (const char16_t* url : {u"file:///etc/passwd", u"javascript:alert(1)", u"smb://host/share", u"/home/x", u"https:///"}) {
        EXPECT_FALSE(UiLinkAlertDialog::IsOpenableUrl(url)) << QString::fromStdU16String(url).toStdString();
    }

    UiLinkAlertDialog plain(1.0f, nullptr, nullptr, nullptr, false, false, u"ok", u"cancel");
    plain.SetMessage(view_, 400, 200, u"Just words, wrapped.", u"ok");
    EXPECT_EQ(plain.LinkControl(), nullptr);

    // A handler that answers false keeps the dialog; true ends it confirmed.
    UiLinkAlertDialog linked(1.0f, nullptr, nullptr, nullptr, false, false, u"ok", u"cancel");
    std::u16string clicked;
    bool answer = false;
    linked.SetLinkHandler([&](const std::u16string& url) {
        clicked = url;
        return answer;
    });
    linked.SetMessage(view_, 400, 200, u"Read <A HREF=\"https://a.example/notes\">the notes</A>.", u"ok");
    ASSERT_NE(linked.LinkControl(), nullptr);
    WhenModal([&](QWidget*) {
        emit linked.LinkControl()->linkActivated(QStringLiteral("https://a.example/notes"));
        EXPECT_TRUE(linked.isVisible());
        answer = true;
        emit linked.LinkControl()->linkActivated(QStringLiteral("https://a.example/notes"));
    });
    EXPECT_EQ(linked.RunModal(view_), 5051);
    EXPECT_EQ(clicked, u"https://a.example/notes");
    EXPECT_TRUE(linked.Confirmed());
}

TEST_F(Dialogs, SheetTipSlidesStaysAndHides) {
    auto shared = MakeShared();
    UiSheetDialog* tip = shared->SheetTip();
    tip->EnsureInitialised();
    ASSERT_NE(tip->Shadow(), nullptr);
    EXPECT_EQ(tip->Shadow()->ShadowSize(), 2);  // a dialog's is 4
    bool clicked = false;
    shared->ShowSheetTip(u"Saved.", 300, [&] { clicked = true; });
    EXPECT_TRUE(tip->isVisible());
    EXPECT_LT(tip->height(), tip->FullHeight());  // still sliding down
    QTest::qWait(350);
    EXPECT_EQ(tip->height(), tip->FullHeight());
    EXPECT_TRUE(tip->isVisible());
    QTest::qWait(400);
    EXPECT_FALSE(tip->isVisible());  // its time is up
    EXPECT_FALSE(clicked);

    // Through the command: "show" 0 hides it at once.
    rapidjson::Document payload;
    payload.Parse(R"({"show": 1, "message": "Hello"})");
    ModuleCommand c{};
    c.command = LIBPLATFORM_COMMAND_SHOW_SHEET_TIP;
    c.sender = &c;
    c.data = &payload;
    parts_->context.SetDialogs(std::move(shared));
    plugin_util::PostCommand(&c);
    EXPECT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->GetText(), u"Hello");
    payload.Parse(R"({"show": 0, "message": ""})");
    plugin_util::PostCommand(&c);
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(tip->GetText(), u"");
    parts_->context.SetDialogs(nullptr);
}

// The progress job as modules drive it: the start command, then
// notifications from a worker thread, then the end.
class Progress : public Dialogs {
protected:
    void SetUp() override {
        shared_ = MakeShared();
        dialog_ = shared_->Progress();
    }
    void Start(bool autoClose, bool currentTotal, const char* device = "converter") {
        ProgressStart start;
        start.autoClose = autoClose;
        start.showCurrentTotal = currentTotal;
        start.deviceId = device;
        start.outputDir = "/tmp/out";
        start.cancelFunction = [](void* count, void*) { ++*static_cast<int*>(count); };
        start.cancelValue1 = &cancelled_;
        dialog_->Start(start);
    }
    void Notify(const char* command, int64_t current, int64_t total, int64_t failed, const char16_t* path) {
        std::thread worker([&] {
            ModuleCommand c{};
            c.command = command;
            c.sender = &c;
            c.current = current;
            c.total = total;
            c.number = failed;
            c.wideText = const_cast<char16_t*>(path);
            c.result = const_cast<char16_t*>(path);
            plugin_util::PostCommand(&c);
        });
        worker.join();
    }
    std::unique_ptr<SharedDialogs> shared_;
    UiProgressDialog* dialog_ = nullptr;
    int cancelled_ = 0;
};

TEST_F(Progress, CountsShowAsAPercentageOrAsNOfTotal) {
    Start(false, false);
    Notify(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS, 3, 8, 0, u"c.heic");
    dialog_->Tick();
    EXPECT_EQ(dialog_->CounterText(), QStringLiteral("37.50%"));
    EXPECT_EQ(dialog_->ShownDescription(), u"c.heic");
    dialog_->EndByUser();
    Start(false, true);
    Notify(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS, 3, 8, 0, u"c.heic");
    dialog_->Tick();
    EXPECT_EQ(dialog_->CounterText(), QStringLiteral("3 / 8"));
    dialog_->EndByUser();
}

TEST_F(Progress, FailuresAreLoggedAndKeepTheDialogOpen) {
    Start(true, false);
    EXPECT_TRUE(dialog_->OpenFolderButton().isVisible());
    for (int i = 1; i <= 10; ++i) {
        const bool fails = i == 4 || i == 9;
        std::u16string path = u"/p/" + std::u16string(1, char16_t(u'0' + i % 10)) + u".heic";
        Notify(i == 10 ? LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH : LIBPLATFORM_COMMAND_NOTIFY_PROGRESS, i, 10,
               fails ? 1 : 0, path.c_str());
    }
    dialog_->Tick();
    EXPECT_EQ(dialog_->ShownDescription(), u"failed(2) /p/0.heic");
    EXPECT_EQ(dialog_->ShownPosition(), 8);
    EXPECT_EQ(dialog_->CloseOkButton().text(), QStringLiteral("ok"));
    EXPECT_EQ(dialog_->LogText(), QStringLiteral("[Fail] 1./p/4.heic\n[Fail] 2./p/9.heic\n"));
    dialog_->DetailsButton().click();
    EXPECT_EQ(dialog_->height(), dialog_->BaseHeight() + 160);
    QTest::qWait(700);
    EXPECT_TRUE(dialog_->isVisible());  // no automatic close after a failure
    dialog_->CloseOkButton().click();
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(cancelled_, 0);  // "ok" after the end calls nothing
}

TEST_F(Progress, ACleanEndClosesItselfWhenAsked) {
    Start(true, false);
    Notify(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH, 2, 2, 0, u"b.heic");
    dialog_->Tick();
    EXPECT_EQ(dialog_->ShownDescription(), u"finish");
    EXPECT_TRUE(dialog_->isVisible());
    QTest::qWait(700);
    EXPECT_FALSE(dialog_->isVisible());
}

// What a screen reader is given (the events themselves reach it only on a
// real desktop: the headless platform has no accessibility bridge).
TEST_F(Progress, ScreenReadersSeeAlertsAndTheBarWithItsValue) {
    // An alert is an alert to a screen reader.
    WhenModal([](QWidget* modal) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(modal);
        EXPECT_EQ(iface->role(), QAccessible::AlertMessage);
        EXPECT_EQ(iface->text(QAccessible::Description), QStringLiteral("The folder is gone."));
        modal->close();
    });
    shared_->Alert(u"The folder is gone.", u"ok", u"cancel", 300, 0);

    // The painted bar is a progress bar with the job's position as its value.
    Start(false, false);
    Notify(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS, 3, 8, 0, u"c.heic");
    dialog_->Tick();
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(dialog_->AccessibleBar());
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->role(), QAccessible::ProgressBar);
    ASSERT_NE(bar->valueInterface(), nullptr);
    EXPECT_EQ(bar->valueInterface()->currentValue().toInt(), 3);
    EXPECT_EQ(bar->valueInterface()->maximumValue().toInt(), 8);
    // At the end it tells what the dialog shows.
    Notify(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH, 8, 8, 0, u"h.heic");
    dialog_->Tick();
    EXPECT_EQ(bar->valueInterface()->currentValue().toInt(), 8);
    EXPECT_TRUE(bar->text(QAccessible::Description).startsWith(QStringLiteral("finish")));
    dialog_->EndByUser();
}

TEST_F(Progress, CancelRunsOnceAndStaleNotificationsChangeNothing) {
    Start(false, false);
    Notify(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS, 1, 5, 0, u"a.heic");

    // Another device's cancel leaves the job alone.
    ModuleCommand other{};
    other.command = LIBPLATFORM_COMMAND_CANCEL_PROGRESS;
    other.sender = &other;
    other.text = const_cast<char*>("someone-else");
    parts_->context.SetDialogs(std::move(shared_));
    plugin_util::PostCommand(&other);
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_TRUE(dialog_->Running());

    dialog_->CloseOkButton().click();
    dialog_->CloseOkButton().click();
    EXPECT_EQ(cancelled_, 1);
    EXPECT_FALSE(dialog_->isVisible());

    // The cancelled job's last file and its end arrive late: nothing counts.
    Notify(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS, 2, 5, 1, u"b.heic");
    Notify(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH, 2, 5, 0, u"b.heic");
    EXPECT_EQ(parts_->progress.Failures(), 0);
    EXPECT_FALSE(parts_->progress.Finished());
    Start(false, false, "next");
    EXPECT_EQ(parts_->progress.Position(), 0);
    dialog_->Tick();
    EXPECT_EQ(dialog_->CounterText(), QString());
    parts_->context.SetDialogs(nullptr);
}

// The job's end arrives between two ticks: the dialog has not shown it yet,
// but the job is over, so neither "cancel" nor a module's cancel acts on it.
TEST_F(Progress, AnEndBeforeTheNextTickIsNotCancelled) {
    Start(false, false);
    Notify(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH, 2, 2, 0, u"b.heic");
    dialog_->CloseOkButton().click();
    EXPECT_EQ(cancelled_, 0);
    EXPECT_FALSE(dialog_->isVisible());

    Start(false, false);
    Notify(LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH, 2, 2, 0, u"b.heic");
    ModuleCommand cancel{};
    cancel.command = LIBPLATFORM_COMMAND_CANCEL_PROGRESS;
    cancel.sender = &cancel;
    cancel.text = const_cast<char*>("converter");
    parts_->context.SetDialogs(std::move(shared_));
    plugin_util::PostCommand(&cancel);
    EXPECT_TRUE(dialog_->isVisible());  // it stays to show the end
    dialog_->Tick();
    EXPECT_EQ(dialog_->ShownDescription(), u"finish");
    EXPECT_EQ(dialog_->CloseOkButton().text(), QStringLiteral("ok"));
    dialog_->CloseOkButton().click();
    EXPECT_EQ(cancelled_, 0);
    parts_->context.SetDialogs(nullptr);
}

TEST_F(Dialogs, LoadingDialogsAreKeyedByTypeAndKey) {
    auto shared = MakeShared();
    QWidget owner;
    owner.resize(400, 300);
    shared->OpenLoading(0, "photos", &owner);
    iOSProgressDialog* first = shared->FindLoading(0, "photos");
    shared->OpenLoading(0, "photos", &owner);
    EXPECT_EQ(shared->FindLoading(0, "photos"), first);
    EXPECT_EQ(shared->LoadingCount(), 1u);
    EXPECT_FALSE(owner.isEnabled());
    shared->UpdateLoading(0, "photos", 3, 10);
    EXPECT_EQ(first->ShownText(), QStringLiteral("loading...(3/10) "));
    shared->CloseLoading(0, "photos");
    EXPECT_EQ(shared->LoadingCount(), 0u);
    EXPECT_TRUE(owner.isEnabled());
}

TEST_F(Dialogs, SettingsReturnTheChosenLanguage) {
    UiSettingDialog settings(1.0f, nullptr, nullptr, false, u"ok", u"cancel");
    settings.SetLanguageId(0);
    settings.Create(view_, 600, 240);
    EXPECT_EQ(settings.LanguageList()->currentText(), QStringLiteral("简体中文"));
    WhenModal([&](QWidget*) {
        settings.LanguageList()->setCurrentIndex(settings.LanguageList()->findText(QStringLiteral("Deutsch")));
        settings.OkButton().click();
    });
    EXPECT_EQ(settings.RunModal(view_), 5051);
    ASSERT_NE(settings.ChosenLanguage(), nullptr);
    EXPECT_EQ(*settings.ChosenLanguage(), 2);

    UiSettingDialog closed(1.0f, nullptr, nullptr, false, u"ok", u"cancel");
    closed.SetLanguageId(8);
    closed.Create(view_, 600, 240);
    WhenModal([&](QWidget*) { closed.CloseButton().click(); });
    EXPECT_EQ(closed.RunModal(view_), 5052);
    EXPECT_EQ(closed.ChosenLanguage(), nullptr);
}

TEST_F(Dialogs, AboutShowsTheVersionLine) {
    UiAboutDialog about(1.0f, nullptr, nullptr, {u"Quillmarsh Pix Bridge", u"1.1.12", u"Quillmarsh", u"https://q.example/", 2023});
    about.SetMessage(view_, 520, 380, u"");
    EXPECT_EQ(about.VersionLine(), u"version: 1.1.12");
    EXPECT_EQ(about.size(), QSize(520, 380));
    EXPECT_TRUE(about.LinkControl()->text().contains(QStringLiteral("https://q.example/")));
}

// Every command that works on a window, posted from a worker thread, runs
// on the main thread (the dialogs assert it) and never on the worker.
TEST_F(Dialogs, WindowCommandsFromAWorkerRunOnTheMainThread) {
    parts_->context.SetDialogs(MakeShared());
    rapidjson::Document tip;
    tip.Parse(R"({"show": 1, "message": "From a worker"})");
    std::atomic<int> confirmAnswers{0};
    std::thread worker([&] {
        auto post = [](const char* name, auto fill) {
            ModuleCommand c{};
            c.command = name;
            c.sender = &c;
            fill(c);
            plugin_util::PostCommand(&c);
        };
        auto nothing = [](ModuleCommand&) {};
        char16_t message[] = u"Message";
        char key[] = "worker";
        char json[] = R"({"link": "x <A HREF=\"https://a.example/\">y</A>", "width": 300, "height": 160})";
        post(LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET, nothing);
        post(LIBPLATFORM_COMMAND_OPEN_ABOUT, nothing);
        post(LIBPLATFORM_COMMAND_OPEN_SETTING, nothing);
        post(LIBPLATFORM_COMMAND_SHOW_SHEET_TIP, [&](ModuleCommand& c) { c.data = &tip; });
        post(LIBPLATFORM_COMMAND_OPEN_ALERT_MESSAGE, [&](ModuleCommand& c) { c.wideText = message; c.number = 300; });
        post(LIBPLATFORM_COMMAND_OPEN_LINK_ALERT_MESSAGE, [&](ModuleCommand& c) { c.data = json; });
        post(LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE, [&](ModuleCommand& c) {
            c.wideText = message;
            c.number = 300;
            c.result = new ConfirmCallback([&](bool) { confirmAnswers.fetch_add(1); });
        });
        post(LIBPLATFORM_COMMAND_START_PROGRESS, nothing);  // dropped off the main thread
        post(LIBPLATFORM_COMMAND_CHANGE_PROGRESS_LOGO, [](ModuleCommand& c) { c.data = const_cast<QImage*>(dialog_resources::Image("alert.png")); });
        post(LIBPLATFORM_COMMAND_CANCEL_PROGRESS, [&](ModuleCommand& c) { c.text = key; });
        post(LIBPLATFORM_COMMAND_OPEN_DATA_TYPE_LOADING_DIALOG, [&](ModuleCommand& c) { c.text = key; });
        post(LIBPLATFORM_COMMAND_UPDATE_DATA_TYPE_LOADING_DIALOG, [&](ModuleCommand& c) { c.text = key; c.current = 1; c.total = 2; });
        post(LIBPLATFORM_COMMAND_CLOSE_DATA_TYPE_LOADING_DIALOG, [&](ModuleCommand& c) { c.text = key; });
        post(LIBCOMM_COMMAND_SERVER_CRASH, nothing);
    });
    worker.join();
    // The queued work runs now: every modal dialog that comes up is closed.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    closer.start(5);
    for (int i = 0; i < 100 && confirmAnswers.load() == 0; ++i) QTest::qWait(10);
    QTest::qWait(50);
    EXPECT_EQ(confirmAnswers.load(), 1);
    auto* shared = static_cast<SharedDialogs*>(&parts_->context.Dialogs());
    EXPECT_EQ(shared->LoadingCount(), 0u);
    EXPECT_EQ(shared->SheetTip()->GetText(), u"server-crash-warning");
    parts_->context.SetDialogs(nullptr);
}

}  // namespace
