// UiAlertDialog: a message with an image and "ok" (5051), and for a
// confirmation also "cancel" (5052) to its right. It sizes itself to its
// word-wrapped message.
#ifndef PIXBRIDGE_HOST_UI_ALERT_DIALOG_H
#define PIXBRIDGE_HOST_UI_ALERT_DIALOG_H

#include "ui_dialog.h"

class UiAlertDialog : public UiDialog {
public:
    UiAlertDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed, const QImage* image,
                  bool showSecondButton, bool placeOverParent, const std::u16string& okText,
                  const std::u16string& secondText);

    // Parent, width, height (0: measured from the message) and message.
    void SetMessage(QWidget* parent, int width, int height, const std::u16string& message);
    bool Confirmed() const { return confirmed_; }
    const std::u16string& Message() const { return message_; }

    VoSwitchButton& OkButton() { return okButton_; }
    VoSwitchButton& SecondButton() { return secondButton_; }
    QRect ImageRect() const { return imageRect_; }
    QRect TextRect() const { return textRect_; }

protected:
    void InitDialog() override;
    void DrawContent(QPainter& painter, const QRect& body) override;
    void OnCommand(int id) override;
    virtual void Layout();

    const QImage* image_ = nullptr;
    bool showSecondButton_ = false;
    bool placeOverParent_ = true;
    std::u16string okText_;
    std::u16string secondText_;
    std::u16string message_;
    VoSwitchButton okButton_;
    VoSwitchButton secondButton_;
    bool confirmed_ = false;
    int margin_ = 20;
    QRect imageRect_;
    QRect textRect_;
};

#endif  // PIXBRIDGE_HOST_UI_ALERT_DIALOG_H
