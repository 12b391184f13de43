// UiSheetDialog, the sheet tip: a slim yellow notice inside the main window
// that slides down under the module's title bar, stays for a while and
// hides itself. Clicking its
// text runs the click action (for example opening the log folder).
#ifndef PIXBRIDGE_HOST_UI_SHEET_DIALOG_H
#define PIXBRIDGE_HOST_UI_SHEET_DIALOG_H

#include "ui_dialog.h"

#include <QBasicTimer>

#include <functional>
#include <memory>

class QLabel;

class UiSheetDialog : public UiDialog {
public:
    static constexpr int kModeHide = 0;
    static constexpr int kModeShow = 5;

    UiSheetDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed);
    ~UiSheetDialog() override;

    // The height is always the tip's own; the given one is ignored.
    void CreateTip(QWidget* parent, int width);
    void SetText(const std::u16string* text);
    const std::u16string& GetText() const { return text_; }
    // Mode 5 shows for `timeMs`, mode 0 hides at once.
    void ShowTip(int mode, int timeMs);
    void SetClickAction(std::function<void(UiSheetDialog&)> action) { clickAction_ = std::move(action); }
    // Under the parent's title bar, across its width.
    void Layout();
    void SetTopOffset(int px) { topOffset_ = px; }
    int FullHeight() const { return fullHeight_; }
    int DisplayTimeMs() const { return displayTimeMs_; }
    QLabel* LinkControl() const { return linkControl_.get(); }
    // What a click on the text does.
    void OnLinkClicked();

protected:
    void InitDialog() override;
    void OnPaint(QPainter& painter) override;
    void OnCommand(int id) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void HideTip();

    std::u16string text_;
    std::unique_ptr<QLabel> linkControl_;
    std::function<void(UiSheetDialog&)> clickAction_;
    int displayTimeMs_ = 5000;
    int topOffset_ = 60;
    int fullHeight_ = 40;
    QColor tipColour_{255, 251, 210};
    QBasicTimer slideTimer_;    // timer 1
    QBasicTimer displayTimer_;  // timer 2
};

#endif  // PIXBRIDGE_HOST_UI_SHEET_DIALOG_H
