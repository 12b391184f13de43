// UiLinkAlertDialog: a message that may carry links (<A HREF="...">text</A>),
// with an optional bold sub-title. A link opens in the browser (web and mail
// links only), or goes to the poster's handler, which may end the dialog.
#ifndef PIXBRIDGE_HOST_UI_LINK_ALERT_DIALOG_H
#define PIXBRIDGE_HOST_UI_LINK_ALERT_DIALOG_H

#include "ui_dialog.h"

#include <canvas/vo_switch_button.h>

#include <functional>
#include <memory>

class QLabel;

class UiLinkAlertDialog : public UiDialog {
public:
    static constexpr int kLinkId = 5054;
    using LinkHandler = std::function<bool(const std::u16string& url)>;

    UiLinkAlertDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed, const QImage* image,
                      bool showSecondButton, bool centred, const std::u16string& okText,
                      const std::u16string& secondText);
    ~UiLinkAlertDialog() override;

    void SetSubTitle(const std::u16string& subTitle) { subTitle_ = subTitle; }
    void SetLinkHandler(LinkHandler handler) { linkHandler_ = std::move(handler); }
    void SetMessage(QWidget* parent, int width, int height, const std::u16string& message, const std::u16string& okText);
    bool Confirmed() const { return confirmed_; }

    // The message's link control, or null when the message has no link.
    QLabel* LinkControl() const { return linkControl_.get(); }
    VoSwitchButton& OkButton() { return okButton_; }
    // What a click on `url` does; also the path a real click takes.
    void OnLinkClicked(const std::u16string& url);
    // Only web and mail links may reach the browser.
    static bool IsOpenableUrl(const std::u16string& url);

protected:
    void InitDialog() override;
    void DrawContent(QPainter& painter, const QRect& body) override;
    void OnCommand(int id) override;

private:
    void Layout();

    const QImage* image_ = nullptr;
    bool showSecondButton_ = false;
    bool centred_ = false;
    std::u16string okText_;
    std::u16string secondText_;
    std::u16string subTitle_;
    std::u16string message_;
    VoSwitchButton okButton_;
    VoSwitchButton secondButton_;
    std::unique_ptr<QLabel> linkControl_;
    LinkHandler linkHandler_;
    bool confirmed_ = false;
    QRect subTitleRect_;
    QRect messageRect_;
};

#endif  // PIXBRIDGE_HOST_UI_LINK_ALERT_DIALOG_H
