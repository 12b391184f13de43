// The update flow in the host against a feed server on loopback, with
// stand-ins for pkexec, the package's install helper and xdg-open (this
// program is built with the test tools): what the user is shown, what is
// downloaded, what is handed over, and what is left behind.
#include "host_application.h"
#include "host_parts.h"
#include "plugin_util.h"
#include "module/module_update.h"
#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/shared_dialogs.h"
#include "ui/dialogs/ui_alert_dialog.h"
#include "ui/dialogs/ui_sheet_dialog.h"
#include "ui/dialogs/ui_update_download_dialog.h"
#include "ui/dialogs/ui_update_list_dialog.h"

#include "loopback_http_server.h"

#include <bedrock/auto_release.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_pool.h>
#include <canvas/dispatch_queue.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

constexpr const char* kFeedPath = "/Quillmarsh/Quillmarsh%20Pix%20Bridge/update.xml";

QApplication& App() {
    static int argc = 1;
    static char name[] = "host_update_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class QueueTarget : public QObject {
protected:
    bool event(QEvent* e) override { return DispatchQueue::RunEvent(e) || QObject::event(e); }
};

template <typename Predicate>
bool WaitUntil(Predicate done, int timeoutMs = 10000) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (done()) return true;
        QTest::qWait(10);
    }
    return done();
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class UpdateFlowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        App();
        parts_ = new HostParts();
        parts_->tables.FillFonts(1.0f, 1);
        DispatchQueue::DispatchQueueInit(new QueueTarget());
        AutoRelease::InitPool();
        VoTaskPool::Get()->Activate(2);
        view_ = new QWidget();
        view_->resize(950, 610);
    }

    void SetUp() override {
        home_ = fs::temp_directory_path() / ("update_flow_" + std::to_string(getpid()));
        fs::remove_all(home_);
        fs::create_directories(home_ / "bin");
        setenv("XDG_CACHE_HOME", (home_ / "cache").c_str(), 1);
        // Stand-ins that write down how they were called. pkexec keeps the
        // package it was given, and ends with the code in "pkexec-exit" (0
        // without it: installed).
        for (const char* tool : {"pkexec", "pixbridge-install-update", "xdg-open"}) {
            const fs::path script = home_ / "bin" / tool;
            std::ofstream out(script);
            out << "#!/bin/sh\necho \"$0 $*\" >> " << (home_ / "handed-over").string() << "\n";
            if (std::string(tool) == "pkexec") {
                out << "cp \"$2\" " << (home_ / "handed.deb").string() << "\n"
                    << "exit $(cat " << (home_ / "pkexec-exit").string() << " 2>/dev/null || echo 0)\n";
            }
            out.close();
            fs::permissions(script, fs::perms::owner_all);
        }
        setenv("PIXBRIDGE_TEST_TOOLS_DIR", (home_ / "bin").c_str(), 1);
        dialogs_ = std::make_unique<SharedDialogs>(view_, 1.0f, parts_->progress);
        dialogs_->CreateShared();
    }

    void TearDown() override {
        flow_.reset();
        dialogs_.reset();
        unsetenv("PIXBRIDGE_TEST_TOOLS_DIR");
        fs::remove_all(home_);
    }

    void MakeFlow(int32_t languageId = 3, int32_t checkDeadlineSeconds = 0) {
        UpdateFlow::Product product;
        product.checkDeadlineSeconds = checkDeadlineSeconds;
        product.rootUrl = server_.Url("/");
        product.brand = "Quillmarsh";
        product.displayName = "Quillmarsh Pix Bridge";
        product.version = "1.1.12";
        product.languageId = languageId;
        flow_ = UpdateFlow::Create(product, *dialogs_, 1.0f, [this] { ++closes_; });
    }

    void Check(bool interactive) {
        ModuleCommand record{};
        record.number = interactive ? 1 : 0;
        record.window = view_;
        flow_->StartUpdateCheck(record);
    }

    // Runs a check that ends in an alert and returns the alert's message.
    std::u16string CheckForAlert() {
        std::u16string message;
        auto* timer = new QTimer();
        QObject::connect(timer, &QTimer::timeout, [timer, &message] {
            if (auto* alert = dynamic_cast<UiAlertDialog*>(QApplication::activeModalWidget())) {
                message = alert->Message();
                // Centred over the view, not a third of the way down.
                const QRect over = view_->window()->frameGeometry();
                EXPECT_EQ(alert->pos(), QPoint(over.left() + (over.width() - alert->width()) / 2,
                                               over.top() + (over.height() - alert->height()) / 2));
                timer->deleteLater();
                timer->stop();
                alert->OkButton().click();
            }
        });
        timer->start(10);
        Check(true);
        EXPECT_TRUE(WaitUntil([&] { return !message.empty(); })) << "no alert";
        return message;
    }

    void ServePackage(const std::string& package, const std::string& md5, size_t pieceBytes = 0, int delayMs = 0) {
        server_.Serve("/pkg/pixbridge_1.2.0_amd64.deb", {200, package, {}, pieceBytes, delayMs});
        server_.Serve(kFeedPath, {200, "<updates><update><version>1.2.0</version><path>/pkg/pixbridge_1.2.0_amd64.deb"
                                       "</path><md5>" + md5 + "</md5><sha256>" + Sha256Hex(package) +
                                       "</sha256></update></updates>"});
    }

    std::vector<std::string> CachedFiles() const {
        std::vector<std::string> names;
        const fs::path folder = home_ / "cache/quillmarsh-pix-bridge/updates";
        if (fs::exists(folder)) {
            for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
        }
        return names;
    }

    // Publishes a package, checks, presses "update now", and expects the
    // download dialog to say where the package is kept, the program open.
    void TellsWhereThePackageIs() {
        const std::string package(50000, 'n');
        ServePackage(package, Md5Hex(package));
        Check(true);
        ASSERT_TRUE(WaitUntil([&] { return dialogs_->UpdateList()->isVisible(); }));
        dialogs_->UpdateList()->UpdateNowButton().click();
        UiUpdateDownloadDialog* download = dialogs_->UpdateDownload();
        const fs::path folder = home_ / "cache/quillmarsh-pix-bridge/updates";
        EXPECT_TRUE(WaitUntil([&] {
            return download->ShownDescription() ==
                   BASUtilityString::Format(dialog_resources::Tr16(u"update-install-failed-%s").c_str(),
                                            folder.u16string().c_str());
        }));
        EXPECT_TRUE(download->isVisible());
        EXPECT_TRUE(download->CloseOkButton().isEnabled());
        EXPECT_TRUE(fs::exists(folder / "pixbridge_1.2.0_amd64.deb"));
        EXPECT_EQ(closes_, 0);
        download->CloseOkButton().click();
    }

    // Publishes a package, checks, presses "update now" and waits for the
    // window to be closed for the installation.
    fs::path DownloadAndWaitForClose() {
        const std::string package(50000, 'u');
        ServePackage(package, Md5Hex(package));
        Check(true);
        EXPECT_TRUE(WaitUntil([&] { return dialogs_->UpdateList()->isVisible(); }));
        dialogs_->UpdateList()->UpdateNowButton().click();
        EXPECT_TRUE(WaitUntil([&] { return closes_ == 1; }));
        return home_ / "cache/quillmarsh-pix-bridge/updates/pixbridge_1.2.0_amd64.deb";
    }

    static HostParts* parts_;
    static QWidget* view_;
    fs::path home_;
    LoopbackHttpServer server_;
    std::unique_ptr<SharedDialogs> dialogs_;
    std::shared_ptr<UpdateFlow> flow_;
    int closes_ = 0;
};
HostParts* UpdateFlowTest::parts_ = nullptr;
QWidget* UpdateFlowTest::view_ = nullptr;

std::string FeedOf(const std::string& version, const std::string& path, const std::string& description = "") {
    return "<updates><update><version>" + version + "</version><path>" + path + "</path><md5>" + std::string(32, 'a') +
           "</md5><sha256>" + std::string(64, 'a') + "</sha256>" + description + "</update></updates>";
}

TEST_F(UpdateFlowTest, NothingNewIsToldOnlyWhenAsked) {
    server_.Serve(kFeedPath, {200, FeedOf("1.1.12", "a.deb")});
    MakeFlow();
    Check(false);
    ASSERT_TRUE(WaitUntil([&] { return server_.Requests() == 1 && !flow_->CheckRunning(); }));
    QTest::qWait(50);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(dialogs_->SheetTip()->isVisible());
    EXPECT_FALSE(dialogs_->UpdateList()->isVisible());

    const std::u16string upToDate = CheckForAlert();
    EXPECT_NE(upToDate.find(u"1.1.12"), std::u16string::npos);

    server_.Stop();  // the server is down
    EXPECT_EQ(CheckForAlert(), dialog_resources::Tr16(u"update-failed-check-network"));
    EXPECT_FALSE(flow_->CheckRunning());
}

TEST_F(UpdateFlowTest, NewerVersionShowsTheUsersLanguageAndStaysPending) {
    server_.Serve(kFeedPath, {200, FeedOf("1.2.0", "b.deb",
                                          "<description><line>{en}</line><line>Faster batches.</line><line>{de}</line>"
                                          "<line>Schnellere Stapel.</line><line>{fr}</line><line>Plus rapide.</line>"
                                          "</description>")});
    MakeFlow(2);  // German
    // The automatic check finds it: the sheet tip, which opens the list.
    Check(false);
    ASSERT_TRUE(WaitUntil([&] { return dialogs_->SheetTip()->isVisible(); }));
    EXPECT_NE(dialogs_->SheetTip()->GetText().find(u"1.2.0"), std::u16string::npos);
    UiUpdateListDialog* list = dialogs_->UpdateList();
    const QString notes = list->Notes();
    EXPECT_TRUE(notes.contains(QStringLiteral("1.2.0")));
    EXPECT_TRUE(notes.contains(QStringLiteral("Schnellere Stapel.")));
    EXPECT_FALSE(notes.contains(QStringLiteral("Faster")));
    EXPECT_FALSE(notes.contains(QStringLiteral("Plus rapide")));

    // A second check while the update is pending asks no server.
    Check(true);
    EXPECT_TRUE(list->isVisible());
    list->LaterButton().click();
    EXPECT_FALSE(list->isVisible());
    EXPECT_TRUE(list->Pending());
    Check(true);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(server_.Requests(), 1);
    list->LaterButton().click();
}

TEST_F(UpdateFlowTest, SheetTipIsNotReplacedWhileShowing) {
    server_.Serve(kFeedPath, {200, FeedOf("2.0", "b.deb")});
    MakeFlow();
    const std::u16string other = u"Another module's tip";
    dialogs_->ShowSheetTip(other, 5000, nullptr);
    Check(false);
    ASSERT_TRUE(WaitUntil([&] { return dialogs_->UpdateList()->Pending(); }));
    EXPECT_EQ(dialogs_->SheetTip()->GetText(), other);
    dialogs_->HideSheetTip();
}

TEST_F(UpdateFlowTest, DownloadIsVerifiedThenHandedOverAndTheWindowCloses) {
    const std::string package(200000, 'd');
    ServePackage(package, Md5Hex(package));
    MakeFlow();
    Check(true);
    UiUpdateListDialog* list = dialogs_->UpdateList();
    ASSERT_TRUE(WaitUntil([&] { return list->isVisible(); }));
    list->UpdateNowButton().click();
    EXPECT_FALSE(list->isVisible());
    UiUpdateDownloadDialog* download = dialogs_->UpdateDownload();
    EXPECT_TRUE(download->isVisible());
    ASSERT_TRUE(WaitUntil([&] { return closes_ == 1; }));

    const fs::path installer = home_ / "cache/quillmarsh-pix-bridge/updates/pixbridge_1.2.0_amd64.deb";
    EXPECT_EQ(ReadFile(home_ / "handed.deb"), package);
    EXPECT_FALSE(fs::exists(installer)) << "installed, yet kept";
    EXPECT_TRUE(download->Ended());
    EXPECT_EQ(download->InstallerPath(), installer.u16string());
    EXPECT_EQ(download->ShownDescription(), dialog_resources::Tr16(u"close-app-desc"));
    EXPECT_FALSE(download->CloseOkButton().isEnabled());
    // To the package's helper through pkexec, with the feed's SHA-256 for
    // the helper to check its own copy against; the window closes once the
    // helper has installed it.
    EXPECT_EQ(ReadFile(home_ / "handed-over"), (home_ / "bin/pkexec").string() + " " +
                                                   (home_ / "bin/pixbridge-install-update").string() + " " +
                                                   installer.string() + " " + Sha256Hex(package) + "\n");
    EXPECT_FALSE(list->Pending());
    EXPECT_FALSE(flow_->CheckRunning());
}

TEST_F(UpdateFlowTest, CancelOrABadDigestLeavesNoFileAndAllowsANewCheck) {
    const std::string package(400000, 'c');
    ServePackage(package, Md5Hex(package), 4096, 20);  // about two seconds
    MakeFlow();
    Check(true);
    ASSERT_TRUE(WaitUntil([&] { return dialogs_->UpdateList()->isVisible(); }));
    dialogs_->UpdateList()->UpdateNowButton().click();
    UiUpdateDownloadDialog* download = dialogs_->UpdateDownload();
    ASSERT_TRUE(WaitUntil([&] { return download->Counters()->Position() > 0; }));
    download->CloseOkButton().click();  // cancel
    EXPECT_FALSE(download->isVisible());
    ASSERT_TRUE(WaitUntil([&] { return !flow_->Downloading(); }));
    EXPECT_TRUE(CachedFiles().empty());
    EXPECT_EQ(closes_, 0);

    // The list is gone with the download: a new check asks the server again,
    // and this time the package does not match its digest.
    ServePackage(package, std::string(32, '0'));
    const int requests = server_.Requests();
    Check(true);
    ASSERT_TRUE(WaitUntil([&] { return dialogs_->UpdateList()->isVisible(); }));
    EXPECT_EQ(server_.Requests(), requests + 1);
    dialogs_->UpdateList()->UpdateNowButton().click();
    ASSERT_TRUE(WaitUntil([&] { return download->Ended(); }));
    EXPECT_EQ(download->ShownDescription(), dialog_resources::Tr16(u"download-failed-check-network"));
    EXPECT_TRUE(download->InstallerPath().empty());
    EXPECT_TRUE(CachedFiles().empty());
    EXPECT_FALSE(fs::exists(home_ / "handed-over"));
    EXPECT_EQ(closes_, 0);
    download->CloseOkButton().click();
    EXPECT_FALSE(download->isVisible());
}

// A program run from its build tree has no helper beside it.
TEST_F(UpdateFlowTest, WithoutTheHelperThePackageGoesToTheDesktopInstaller) {
    fs::remove(home_ / "bin/pixbridge-install-update");
    MakeFlow();
    const fs::path installer = DownloadAndWaitForClose();
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(home_ / "handed-over"); }));
    EXPECT_EQ(ReadFile(home_ / "handed-over"), (home_ / "bin/xdg-open").string() + " " + installer.string() + "\n");
}

// The password prompt dismissed (pkexec's 126), or nothing to hand the
// package to: the program stays, and so does the package.
TEST_F(UpdateFlowTest, NotInstalledTheProgramStaysAndSaysWhereThePackageIs) {
    std::ofstream(home_ / "pkexec-exit") << "126";
    MakeFlow();
    TellsWhereThePackageIs();
    EXPECT_TRUE(fs::exists(home_ / "handed.deb"));

    fs::remove(home_ / "bin/pkexec");
    fs::remove(home_ / "bin/xdg-open");
    TellsWhereThePackageIs();
}


TEST_F(UpdateFlowTest, InASuiteTheNewestInstalledCopyIsStartedAfterTheInstallation) {
    const fs::path suite = home_ / "suite";
    const fs::path program = suite / "Addins/Quillmarsh Pix Bridge/1.2.0/Bin/Quillmarsh Pix Bridge";
    fs::create_directories(program.parent_path());
    fs::create_directories(suite / "Addins/Quillmarsh Pix Bridge/1.1.12/Bin");
    std::ofstream(program) << "#!/bin/sh\necho \"started $*\" >> " << (home_ / "handed-over").string() << "\n";
    fs::permissions(program, fs::perms::owner_all);
    const fs::path launcher = suite / "launcher.json";
    std::ofstream(launcher) << "{}";
    // The program's own start-up reads the launcher argument and hands the
    // suite file to the loader; the product type comes from the install
    // tree's option file, which this test has none of.
    setenv("XDG_CONFIG_HOME", (home_ / "config").c_str(), 1);
    HostApplication::LoadSettings(parts_->settings, {launcher.string()});
    UpdateFlow::Product product = HostApplication::UpdateProductOf(parts_->settings);
    ASSERT_EQ(product.launcherPath, launcher.u16string());
    product.productType = 1;
    product.rootUrl = server_.Url("/");
    flow_ = UpdateFlow::Create(product, *dialogs_, 1.0f, [this] { ++closes_; });
    const fs::path installer = DownloadAndWaitForClose();
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(home_ / "handed-over").find("started") != std::string::npos; }));
    // Installed first and waited for, then the new copy started with the
    // launcher file; the package is removed.
    EXPECT_EQ(ReadFile(home_ / "handed-over"),
              (home_ / "bin/pkexec").string() + " " + (home_ / "bin/pixbridge-install-update").string() + " " +
                  installer.string() + " " + Sha256Hex(std::string(50000, 'u')) + "\nstarted " + launcher.string() + "\n");
    EXPECT_FALSE(fs::exists(installer));
    plugin_util::SetSuiteFile(u"");
    unsetenv("XDG_CONFIG_HOME");
}

// A server that trickles the feed just above the speed floor: the check
// ends at its deadline. A check asked meanwhile from the menu hears after a
// few seconds that the check still runs, and the automatic check's end then
// stays quiet.
TEST_F(UpdateFlowTest, ASlowFeedEndsAtItsDeadline) {
    using Clock = std::chrono::steady_clock;
    auto secondsSince = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    server_.Serve(kFeedPath, {200, std::string(20000, ' '), {}, 100, 500});  // 200 bytes a second
    constexpr int kDeadlineSeconds = 6;
    MakeFlow(3, kDeadlineSeconds);

    Check(false);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(CheckForAlert(), dialog_resources::Tr16(u"update-check-still-running"));
    // Not at once; Qt's coarse timers may fire up to 5 % early.
    EXPECT_GE(secondsSince(start), UpdateFlow::kAskedDuringCheckWaitMs / 1000.0 * 0.9);
    ASSERT_TRUE(WaitUntil([&] { return !flow_->CheckRunning(); }, 20000));
    EXPECT_LT(secondsSince(start), kDeadlineSeconds + 5);
    QTest::qWait(100);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    start = Clock::now();
    EXPECT_EQ(CheckForAlert(), dialog_resources::Tr16(u"update-failed-check-network"));
    EXPECT_GE(secondsSince(start), kDeadlineSeconds - 0.5);
    EXPECT_LT(secondsSince(start), kDeadlineSeconds + 5);
}

// The package would be opened by name, as root, through a folder that
// another user controls: it is not downloaded, and the dialog says which.
TEST_F(UpdateFlowTest, ADownloadFolderThatOthersControlIsRefused) {
    fs::create_directories(home_ / "elsewhere");
    fs::create_directories(home_ / "cache");
    fs::create_directory_symlink(home_ / "elsewhere", home_ / "cache/quillmarsh-pix-bridge");
    const std::string package(50000, 'l');
    ServePackage(package, Md5Hex(package));
    MakeFlow();
    Check(true);
    ASSERT_TRUE(WaitUntil([&] { return dialogs_->UpdateList()->isVisible(); }));
    dialogs_->UpdateList()->UpdateNowButton().click();
    UiUpdateDownloadDialog* download = dialogs_->UpdateDownload();
    ASSERT_TRUE(WaitUntil([&] { return download->Ended(); }));
    const std::u16string folder = (home_ / "cache/quillmarsh-pix-bridge").u16string();
    EXPECT_EQ(download->ShownDescription(),
              BASUtilityString::Format(dialog_resources::Tr16(u"update-folder-unsafe-%s").c_str(), folder.c_str()));
    EXPECT_TRUE(fs::is_empty(home_ / "elsewhere"));
    EXPECT_FALSE(fs::exists(home_ / "handed-over"));
    EXPECT_EQ(closes_, 0);
    download->CloseOkButton().click();
}

}  // namespace
