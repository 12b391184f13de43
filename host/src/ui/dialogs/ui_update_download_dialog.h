// UiUpdateDownloadDialog: the progress of the update's download, in bytes:
// the description, the bar, and under it "(Downloaded: 1.2 MB, total:
// 20 MB)" until the download has ended. Its counters are shared with the download, which
// may outlive the dialog when the program closes mid-download.
#ifndef PIXBRIDGE_HOST_UI_UPDATE_DOWNLOAD_DIALOG_H
#define PIXBRIDGE_HOST_UI_UPDATE_DOWNLOAD_DIALOG_H

#include "service/progress_counters.h"
#include "ui_progress_dialog.h"

#include <functional>
#include <memory>
#include <string>

namespace update_dialog_detail {
// Constructed before the progress dialog that refers to the counters.
struct CountersHolder {
    std::shared_ptr<ProgressCounters> counters = std::make_shared<ProgressCounters>(ProgressCounters::kDetached);
};
}  // namespace update_dialog_detail

class UiUpdateDownloadDialog : private update_dialog_detail::CountersHolder, public UiProgressDialog {
public:
    UiUpdateDownloadDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed);

    // The bytes the download writes and the dialog reads.
    std::shared_ptr<ProgressCounters> Counters() const { return counters; }

    // A new download: counters cleared, shown, cancel/close calls `cancel`
    // once while the download runs.
    void Begin(const std::u16string& description, std::function<void()> cancel);
    // The download ended with the verified installer at `path`: the sizes
    // go, the description changes and the button no longer acts.
    void EndWithInstaller(const std::u16string& path, const std::u16string& description);
    // The download failed: no more cancel, the description says why.
    void EndWithFailure(const std::u16string& description);
    bool Ended() const { return ended_; }
    const std::u16string& InstallerPath() const { return installerPath_; }

    // The sizes, "(Downloaded: 9.3 MB, total: 24 MB)", until the end.
    QString SizeText() const;
    QString CounterText() const override { return QString(); }
    void EndByUser() override;

protected:
    void InitDialog() override;
    void DrawContent(QPainter& painter, const QRect& body) override;

private:
    std::function<void()> cancel_;
    std::u16string installerPath_;
    bool ended_ = false;
};

#endif  // PIXBRIDGE_HOST_UI_UPDATE_DOWNLOAD_DIALOG_H
