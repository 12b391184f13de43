// UiDialog: the base of every window the host shows over the main view: a
// frameless pop-up with a coloured title bar, a close button (5050), a drop
// shadow and a white body, dragged from anywhere. A modal run returns the id
// of the control that ended it; Escape and the window manager's close count
// as the close button.
#ifndef PIXBRIDGE_HOST_UI_DIALOG_H
#define PIXBRIDGE_HOST_UI_DIALOG_H

#include <canvas/vo_img_button.h>
#include <canvas/vo_switch_button.h>
#include <canvas/vo_themed_shadow_wnd.h>

#include <QAccessible>
#include <QColor>
#include <QDialog>
#include <QPoint>

#include <memory>
#include <string>

class QFont;

class UiDialog : public QDialog {
public:
    static constexpr int kCloseId = 5050;
    static constexpr int kConfirmId = 5051;
    static constexpr int kSecondId = 5052;

    // The close images are not owned.
    UiDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed);
    ~UiDialog() override;

    // Creates the dialog modeless and hidden over `parent` with the given size.
    void Create(QWidget* parent, int width, int height);
    // Runs the dialog modally over `owner` (or its given parent) and returns
    // the id that ended it.
    int RunModal(QWidget* owner = nullptr);

    virtual void Show(bool visible);
    virtual void Reset();
    void MarkFinished() { finished_ = true; }
    bool IsFinished() const { return finished_; }
    bool IsDismissed() const { return dismissed_; }
    // Moves the window by (dx, dy) without resizing or activating it.
    void MoveBy(int dx, int dy);

    void SetTitle(const std::u16string& title);
    const std::u16string& Title() const { return title_; }
    int TitleHeight() const { return titleHeight_; }
    QColor TitleColour() const { return titleColour_; }
    float DpiScale() const { return dpiScale_; }
    // scaled(n): n times the DPI scale, truncated toward zero.
    int Scaled(int n) const { return static_cast<int>(n * dpiScale_); }
    VoImgButton& CloseButton() { return closeButton_; }
    // The drop shadow, once the dialog is set up.
    VoThemedShadowWnd* Shadow() const { return shadow_.get(); }
    int DialogWidth() const { return width_; }
    int DialogHeight() const { return height_; }

    // Set-up that the first showing does: placement, shadow, colours,
    // controls and layout. Idempotent; tests call it to read the layout.
    void EnsureInitialised();

protected:
    // Subclasses extend the set-up; they call the base first.
    virtual void InitDialog();
    virtual void OnPaint(QPainter& painter);
    // The body below the title bar.
    virtual void DrawContent(QPainter& painter, const QRect& body) {}
    // A control's command; the base handles the close button.
    virtual void OnCommand(int id);
    // A text button of this dialog in the theme's colours on white.
    struct ButtonStyle {
        const char* font;
        int hMargin;  // unscaled
        int vMargin;  // unscaled
        int cornerRadius = 0;  // unscaled; 0: no rounded outline
    };
    void StyleButton(VoSwitchButton& button, int id, const QString& text, const ButtonStyle& style);
    // Ends a modal run with `id`, or hides a modeless dialog.
    void EndDialog(int id);
    // Centres the dialog over the top-level window of `over`.
    void CentreOver(QWidget* over);
    void SetDialogSize(int width, int height);
    // Screen readers see the dialog as `role` and are told of it each time
    // it shows (an alert).
    void AnnounceWhenShown(QAccessible::Role role);
    QWidget* ParentWindow() const { return parent_; }
    bool InModalRun() const { return modalRun_; }

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override;

    bool finished_ = true;
    bool dismissed_ = true;

private:
    float dpiScale_ = 1.0f;
    const QImage* closeNormal_ = nullptr;
    const QImage* closePressed_ = nullptr;
    QWidget* parent_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::u16string title_;
    int titleHeight_ = 26;
    QColor titleColour_{127, 127, 127};
    VoImgButton closeButton_;
    std::unique_ptr<VoThemedShadowWnd> shadow_;
    bool initialised_ = false;
    bool modalRun_ = false;
    bool dragging_ = false;
    bool announce_ = false;
    QPoint dragOffset_;
};

#endif  // PIXBRIDGE_HOST_UI_DIALOG_H
