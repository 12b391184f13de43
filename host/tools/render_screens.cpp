// Renders the host's windows into PNG files, for review by eye and for the
// README: the main window with the title bar and its menu, and every dialog,
// in one language at one scale. scripts/screens.sh runs it for each language
// and desktop scale under a virtual X server.
//
//   render_screens APP_DIR OUT_DIR LANGUAGE_ID DPI
//
// DPI is the "DPI" setting: 0 lets the desktop decide (Xft.dpi,
// QT_SCALE_FACTOR), as on a first start; a number counts device pixels.
#include "app/display_scale.h"
#include "host_parts.h"
#include "plugin_util.h"
#include "service/host_command_service.h"
#include "service/manifest_windows.h"
#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/ios_progress_dialog.h"
#include "ui/dialogs/shared_dialogs.h"
#include "ui/dialogs/ui_about_dialog.h"
#include "ui/dialogs/ui_alert_dialog.h"
#include "ui/dialogs/ui_link_alert_dialog.h"
#include "ui/dialogs/ui_progress_dialog.h"
#include "ui/dialogs/ui_update_download_dialog.h"
#include "ui/dialogs/ui_update_list_dialog.h"
#include "ui/dialogs/ui_setting_dialog.h"
#include "ui/dialogs/ui_sheet_dialog.h"
#include "ui/main_frame.h"
#include "ui/main_view.h"

#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_string.h>
#include <canvas/pictures.h>
#include <lingua/wx_locale.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::u16string U(const std::string& s) { return BASUtilityString::Utf8ToUtf16(s); }

class Renderer {
public:
    Renderer(const QString& outDir, const QString& suffix) : outDir_(outDir), suffix_(suffix) {}

    bool Save(QWidget& widget, const char* name) {
        widget.ensurePolished();
        const QImage image = widget.grab().toImage();
        const QString path = QDir(outDir_).filePath(QStringLiteral("%1-%2.png").arg(QLatin1String(name), suffix_));
        const bool ok = !image.isNull() && image.save(path);
        std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toLocal8Bit().constData());
        failures_ += ok ? 0 : 1;
        return ok;
    }
    int Failures() const { return failures_; }

private:
    QString outDir_;
    QString suffix_;
    int failures_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s APP_DIR OUT_DIR LANGUAGE_ID DPI\n", argv[0]);
        return 2;
    }
    const std::string appDir = std::string(argv[1]) + "/";
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    const int language = std::atoi(argv[3]);
    const double dpi = std::atof(argv[4]);
    QDir().mkpath(outDir);

    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Quillmarsh Pix Bridge"));
    // The scale as the program reckons it.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double ratio = screen->devicePixelRatio();
    const float scale = display::ProgramScale(dpi, ratio, screen->logicalDotsPerInchX());
    HostParts parts;
    parts.images.SetResourceFolder(U(appDir + "Resources/"));
    parts.images.SetDeviceScale(Utils::DeviceScale(scale));
    BASUserDefaults::InitUserDefaults("url", U(appDir + "Option.json"));
    wxLocale* locale = CreateLocale(language);
    if (locale) locale->LoadLanguageCatalog(U(appDir + "I18n/").c_str(), nullptr);
    parts.context.SetDpiScale(scale);
    parts.tables.FillFonts(scale, language != 0 ? 1 : 0);

    CMainFrame frame(CMainFrame::CentredRect(screen->size(), scale, ratio), scale);
    SharedDialogs dialogs(frame.View(), scale, parts.progress);
    dialogs.CreateShared();

    // The title bar, loaded and placed as the program does it. The other
    // modules stay out: their windows have nothing to show without photos,
    // and the converter module starts work of its own.
    const std::u16string titlebarFolder = U(appDir + "Plugins/Module.Titlebar/");
    const bool titlebar = plugin_util::LoadModule(titlebarFolder) != nullptr;
    plugin_util::RegisterHostModule("Product");
    SubscribeHostCommands();
    BASUserDefaults::InitUserDefaults("ApplicationManifest", U(appDir + "ApplicationManifest.json"));
    manifest::CreateModuleWindows(frame.View(), scale);
    frame.show();
    QApplication::processEvents();

    // Named for the device pixels per layout pixel: the desktop's ratio times the program's own scale.
    const QString suffix = QStringLiteral("%1-%2x")
                               .arg(language == 8 ? QStringLiteral("ja") : QStringLiteral("en"))
                               .arg(std::round(scale * ratio * 100) / 100);
    Renderer out(outDir, suffix);
    const QImage* closeNormal = dialog_resources::Image("close-normal.png");
    const QImage* closePressed = dialog_resources::Image("close-pressed.png");
    const QImage* alertImage = dialog_resources::Image("alert.png");
    const std::u16string ok = dialog_resources::Tr16(u"ok");
    const std::u16string cancel = dialog_resources::Tr16(u"cancel");
    auto scaled = [scale](int n) { return static_cast<int>(n * scale); };

    out.Save(frame, "main-window");
    if (!titlebar) {
        std::printf("FAILED the title bar did not load from %s\n", BASUtilityString::Utf16ToUtf8(titlebarFolder).c_str());
        return 1;
    }
    if (auto* menuButton = frame.findChild<QAbstractButton*>(QStringLiteral("menu-button"))) {
        menuButton->click();
        QApplication::processEvents();
        if (QWidget* menu = QApplication::activePopupWidget()) {
            out.Save(*menu, "titlebar-menu");
            menu->hide();
        }
    }
    {
        UiAlertDialog alert(scale, closeNormal, closePressed, alertImage, false, true, ok, cancel);
        alert.SetMessage(frame.View(), scaled(400), 0, dialog_resources::Tr16(u"update-failed-check-network"));
        out.Save(alert, "alert");
    }
    {
        UiAlertDialog confirm(scale, closeNormal, closePressed, alertImage, true, true, ok, cancel);
        confirm.SetMessage(frame.View(), scaled(400), 0, dialog_resources::Tr16(u"close-app-desc"));
        out.Save(confirm, "confirm");
    }
    {
        UiLinkAlertDialog link(scale, closeNormal, closePressed, alertImage, false, true, ok, cancel);
        link.SetSubTitle(dialog_resources::Tr16(u"new-version-found-tip"));
        link.SetTitle(dialog_resources::Tr16(u"update-download"));
        link.SetMessage(frame.View(), scaled(440), scaled(200),
                        dialog_resources::Tr16(u"read-more-versions") +
                            u" <A HREF=\"https://quillmarsh.example/pix-bridge/\">quillmarsh.example</A>",
                        ok);
        out.Save(link, "link-alert");
    }
    {
        UiSettingDialog settings(scale, closeNormal, closePressed, false, ok, cancel);
        settings.SetLanguageId(language);
        settings.Create(frame.View(), scaled(600), scaled(240));
        out.Save(settings, "settings");
    }
    {
        UiAboutDialog::Identity identity{u"Quillmarsh Pix Bridge", u"1.1.12", u"Quillmarsh", u"https://quillmarsh.example/",
                                         2023};
        UiAboutDialog about(scale, closeNormal, closePressed, identity);
        about.SetMessage(frame.View(), scaled(520), scaled(380), u"");
        out.Save(about, "about");
    }
    {
        UiSheetDialog* sheet = dialogs.SheetTip();
        const std::u16string tip = BASUtilityString::Format(dialog_resources::Tr16(u"language-change-tip-%s").c_str(),
                                                            u"Quillmarsh Pix Bridge");
        sheet->SetText(&tip);
        sheet->resize(frame.View()->width(), sheet->FullHeight());
        sheet->LinkControl()->setGeometry(scaled(16), scaled(8), sheet->width() - scaled(20), sheet->FullHeight() - scaled(20));
        sheet->LinkControl()->show();
        sheet->CloseButton().move(sheet->width() - scaled(8) - sheet->CloseButton().width(), scaled(8));
        sheet->CloseButton().show();
        out.Save(*sheet, "sheet-tip");
    }
    {
        UiProgressDialog* progress = dialogs.Progress();
        ProgressStart start;
        start.title = BASUtilityString::Utf16ToUtf8(dialog_resources::Tr16(u"downloading-update"));
        start.outputDir = "/tmp";
        QImage logo = Utils::LoadPicture(
            QString::fromStdString(appDir + "Plugins/Module.Workbench/1.0.0/Resources/converting.png"),
            Utils::DeviceScale(scale));
        start.logo = &logo;
        progress->Start(start);
        parts.progress.SetTotal(8);
        parts.progress.SetPosition(3);
        parts.progress.SetDescription(u"IMG_2682.HEIC");
        progress->Tick();
        out.Save(*progress, "progress");
        parts.progress.AddFailures(1, u"/home/user/Pictures/IMG_0007.HEIC");
        parts.progress.AddFailures(1, u"/home/user/Pictures/IMG_0012.HEIC");
        parts.progress.SetPosition(8);
        parts.progress.MarkFinished();
        progress->Tick();
        progress->DetailsButton().click();
        out.Save(*progress, "progress-failed");
        progress->EndByUser();
    }
    {
        UiUpdateListDialog* list = dialogs.UpdateList();
        list->ClearNotes();
        list->AppendNotes(dialog_resources::Tr16(u"version") +
                          u": 1.2.0\nPNG files are written on every core.\nMore HEIF photos convert: those coded as JPEG or "
                          u"JPEG 2000.\nThumbnails appear sooner for photos with a JPEG preview.\n\n" +
                          dialog_resources::Tr16(u"version") + u": 1.1.14\nPhotos of some newer phones open again.\n");
        list->Open();
        QCoreApplication::processEvents();
        out.Save(*list, "update-list");
        list->LaterButton().click();

        UiUpdateDownloadDialog* download = dialogs.UpdateDownload();
        download->Begin(dialog_resources::Tr16(u"downloading-update"), [] {});
        download->Counters()->SetTotal(24 * 1024 * 1024);
        download->Counters()->SetPosition(9 * 1024 * 1024 + 300 * 1024);
        download->Tick();
        out.Save(*download, "update-download");
        download->EndWithFailure(dialog_resources::Tr16(u"download-failed-check-network"));
        out.Save(*download, "update-download-failed");
        download->EndByUser();
    }
    {
        iOSProgressDialog loading(scale, "screens", QString::fromStdString(appDir + "Resources/loading.gif"));
        loading.CreatePanel(frame.View());
        loading.UpdateCount(120, 1000);
        out.Save(loading, "loading");
    }
    return out.Failures() == 0 ? 0 : 1;
}
