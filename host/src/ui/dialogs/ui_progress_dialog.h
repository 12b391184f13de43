// UiProgressDialog: follows one batch job: title, a description line, a bar
// with a percentage or "n / total", a logo, a fold-out log of failed items,
// and "open-folder" and "cancel" (then "ok"). Worker threads only change the
// job's counters; the dialog reads them every 500 ms, so bursts of
// notifications cost no painting.
#ifndef PIXBRIDGE_HOST_UI_PROGRESS_DIALOG_H
#define PIXBRIDGE_HOST_UI_PROGRESS_DIALOG_H

#include "service/host_dialogs.h"
#include "ui_dialog.h"

#include <canvas/accessibility.h>
#include <canvas/vo_edit.h>
#include <canvas/vo_img_button.h>
#include <canvas/vo_switch_button.h>

#include <QBasicTimer>

class ProgressCounters;

class UiProgressDialog : public UiDialog {
public:
    static constexpr int kOpenFolderId = 5051;
    static constexpr int kCloseOkId = 5052;
    static constexpr int kDetailsId = 5053;
    static constexpr int kLogId = 5054;
    static constexpr int kTickMs = 500;

    UiProgressDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed, ProgressCounters& counters);

    // A new job: reset, shown, and counting.
    void Start(const ProgressStart& start);
    // LIBPLATFORM_COMMAND_CANCEL_PROGRESS: ends a running job of that device
    // without calling its cancel function.
    void CancelFromModule(const std::string& deviceId);
    void ChangeLogo(QImage* logo);
    // The user ended the job (cancel, ok, the close button).
    virtual void EndByUser();
    // One timer tick, for the tests as well.
    void Tick();

    // What the dialog shows now. The text right of the description.
    virtual QString CounterText() const;
    const std::u16string& ShownDescription() const { return shownDescription_; }
    int ShownPosition() const { return lastPosition_; }
    int ShownTotal() const { return lastTotal_; }
    bool DetailsOpen() const { return detailsOpen_; }
    bool Running() const { return timer_.isActive(); }
    QString LogText() const { return log_.Text(); }
    VoSwitchButton& OpenFolderButton() { return openFolderButton_; }
    VoSwitchButton& CloseOkButton() { return closeOkButton_; }
    VoImgButton& DetailsButton() { return detailsButton_; }
    QRect BarRect() const { return barRect_; }
    // The painted bar as screen readers see it: a progress bar with the
    // position of the total, described by the line above it.
    VoAccessibleValue* AccessibleBar() const { return bar_; }
    QRect LogoRect() const { return logoRect_; }
    int BaseHeight() const { return baseHeight_; }

protected:
    void InitDialog() override;
    void DrawContent(QPainter& painter, const QRect& body) override;
    void OnCommand(int id) override;
    void timerEvent(QTimerEvent* event) override;
    virtual void LayoutProgress();
    void Reset() override;
    // Hides the dialog after a job ended (automatically or by a module).
    void CloseJob();
    // The counters are no longer read; the description stays as set here.
    void StopTicking(const std::u16string& description);

    ProgressCounters& counters_;

private:
    void ToggleDetails();
    void AppendFailures();
    // The bar's value and description for screen readers, from what is shown.
    void DescribeBar();

    bool showCurrentTotal_ = false;
    bool autoClose_ = false;
    bool hasOutputFolder_ = false;
    bool detailsOpen_ = false;
    std::u16string outputFolder_;
    std::string deviceId_;
    QImage* logo_ = nullptr;
    ProgressCancelFn cancelFunction_ = nullptr;
    void* cancelValue1_ = nullptr;
    void* cancelValue2_ = nullptr;
    std::u16string shownDescription_;
    int lastPosition_ = 0;
    int lastTotal_ = 0;
    int baseHeight_ = 160;
    QRect logoRect_;
    QRect barRect_;
    QRect textRect_;
    VoSwitchButton openFolderButton_;
    VoSwitchButton closeOkButton_;
    VoImgButton detailsButton_;
    VoEdit log_;
    VoAccessibleValue* bar_ = nullptr;  // a child: owned by this dialog
    QBasicTimer timer_;  // timer 1
};

#endif  // PIXBRIDGE_HOST_UI_PROGRESS_DIALOG_H
