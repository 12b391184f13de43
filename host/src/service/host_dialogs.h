// The dialog side of the host's commands; every method is called on the
// main thread. The command service decides what to show and when; an
// implementation of this interface (SharedDialogs) shows it. The default does
// nothing visible and answers "not confirmed": a host without windows, as in
// the tests of the command service.
#ifndef PIXBRIDGE_HOST_HOST_DIALOGS_H
#define PIXBRIDGE_HOST_HOST_DIALOGS_H

#include <pixbridge/host_payloads.h>
#include <pixbridge/module_contract.h>

#include <cstdint>
#include <functional>
#include <string>

class QImage;
class QWidget;

// Ids a modal run returns.
enum DialogResult : int { kDialogConfirmed = 5051, kDialogSecond = 5052, kDialogClosed = 5050 };

// Where an alert goes: a third of the way down its parent (the modules'
// alerts), or centred over it like any other dialog.
enum class AlertPlacement { kOverParent, kCentred };

struct ProgressStart {
    bool showCurrentTotal = false;
    QImage* logo = nullptr;
    std::string outputDir;
    std::string desc;
    std::string title;
    bool autoClose = false;
    std::string deviceId;
    ProgressCancelFn cancelFunction = nullptr;
    void* cancelValue1 = nullptr;
    void* cancelValue2 = nullptr;
};

struct LinkAlert {
    std::string link;
    int width = 0;
    int height = 0;
    std::string title;
    std::string subTitle;
    std::u16string buttonText;
    LinkClickCallback onClick;  // empty: links open in the browser
};

class HostDialogs {
public:
    virtual ~HostDialogs() = default;

    virtual void OpenAbout(int width, int height) {}
    // Returns the id that ended the dialog; on 5051 `chosenLanguage` is set.
    virtual int OpenSettings(int width, int height, int32_t currentLanguage, int32_t* chosenLanguage) { return kDialogClosed; }
    virtual void CheckForUpdate(const ModuleCommand& request) {}

    // Sheet tip: shown (mode 5) for `durationMs`, or hidden (mode 0).
    virtual void ShowSheetTip(const std::u16string& text, int durationMs, std::function<void()> onClick) {}
    virtual void HideSheetTip() {}

    virtual int Alert(const std::u16string& message, const std::u16string& okText, const std::u16string& cancelText,
                      int width, int height, AlertPlacement placement = AlertPlacement::kOverParent) {
        return kDialogClosed;
    }
    virtual int Confirm(const std::u16string& message, const std::u16string& okText, const std::u16string& cancelText,
                        int width) { return kDialogClosed; }
    virtual int ShowLinkAlert(const LinkAlert& alert) { return kDialogClosed; }

    virtual void StartProgress(const ProgressStart& start) {}
    virtual void CancelProgress(const std::string& deviceId) {}
    virtual void ChangeProgressLogo(QImage* logo) {}

    virtual void OpenLoading(int32_t type, const std::string& key, QWidget* owner) {}
    virtual void CloseLoading(int32_t type, const std::string& key) {}
    // Sets the loading dialog's text to its label followed by "(current/total) ".
    virtual void UpdateLoading(int32_t type, const std::string& key, int64_t current, int64_t total) {}
    virtual void CloseAllLoading() {}

    // The main window moved by (dx, dy): the sheet tip follows, loading
    // dialogs re-centre over their owners.
    virtual void MainWindowMoved(int dx, int dy) {}
    // The main view changed size: the sheet tip and loading dialogs re-lay out.
    virtual void MainViewResized() {}
};

#endif  // PIXBRIDGE_HOST_HOST_DIALOGS_H
