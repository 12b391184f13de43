// UiAboutDialog: the logo, the product's name and version on the coloured
// band, a pointer to the maker's web site with its link, and the rights notice.
#ifndef PIXBRIDGE_HOST_UI_ABOUT_DIALOG_H
#define PIXBRIDGE_HOST_UI_ABOUT_DIALOG_H

#include "ui_alert_dialog.h"

#include <memory>

class QLabel;

class UiAboutDialog : public UiAlertDialog {
public:
    static constexpr int kLinkId = 5053;

    struct Identity {
        std::u16string productName;
        std::u16string version;
        std::u16string brand;
        std::u16string brandUrl;
        int buildYear = 2026;
    };

    UiAboutDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed, const Identity& identity);
    ~UiAboutDialog() override;

    const std::u16string& VersionLine() const { return versionLine_; }
    const std::u16string& MoreInfoLine() const { return moreInfoLine_; }
    const std::u16string& NoticeLine() const { return noticeLine_; }
    QLabel* LinkControl() const { return link_.get(); }

protected:
    void InitDialog() override;
    void Layout() override;
    void OnPaint(QPainter& painter) override;

private:
    Identity identity_;
    std::u16string versionLine_;
    std::u16string moreInfoLine_;
    std::u16string noticeLine_;
    std::unique_ptr<QLabel> link_;
    QRect logoRect_;
    QRect nameRect_;
    QRect versionRect_;
    QRect moreInfoRect_;
    QRect noticeRect_;
};

#endif  // PIXBRIDGE_HOST_UI_ABOUT_DIALOG_H
