// UiSettingDialog: the program's one setting, the interface language,
// chosen from the nine languages in their own names.
#ifndef PIXBRIDGE_HOST_UI_SETTING_DIALOG_H
#define PIXBRIDGE_HOST_UI_SETTING_DIALOG_H

#include "ui_dialog.h"

#include <canvas/vo_switch_button.h>

#include <cstdint>
#include <memory>

class QComboBox;

class UiSettingDialog : public UiDialog {
public:
    static constexpr int kLanguageListId = 5053;

    struct Language {
        const char16_t* name;
        int32_t id;
    };
    // The list in its fixed order; the names are never translated.
    static const Language kLanguages[9];

    UiSettingDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed, bool centred,
                    const std::u16string& okText, const std::u16string& cancelText);
    ~UiSettingDialog() override;

    void SetLanguageId(int32_t id) { languageId_ = id; }
    // Set when the dialog was confirmed: the chosen language id.
    const int32_t* ChosenLanguage() const { return chosenLanguage_.get(); }
    bool Confirmed() const { return confirmed_; }
    QComboBox* LanguageList() const { return list_.get(); }
    VoSwitchButton& OkButton() { return okButton_; }
    QRect TabRect() const { return tabRect_; }
    QRect PanelRect() const { return panelRect_; }

protected:
    void InitDialog() override;
    void DrawContent(QPainter& painter, const QRect& body) override;
    void OnCommand(int id) override;

private:
    void Layout();

    bool centred_ = false;
    std::u16string okText_;
    std::u16string cancelText_;
    int32_t languageId_ = 3;
    std::unique_ptr<int32_t> chosenLanguage_;
    bool confirmed_ = false;
    VoSwitchButton okButton_;
    VoSwitchButton cancelButton_;
    std::unique_ptr<QComboBox> list_;
    QRect tabRect_;
    QRect panelRect_;
    QRect boxRect_;
    QRect labelRect_;
};

#endif  // PIXBRIDGE_HOST_UI_SETTING_DIALOG_H
