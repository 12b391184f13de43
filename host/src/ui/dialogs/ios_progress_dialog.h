// iOSProgressDialog, the loading dialog: a small panel with the spinning
// "loading.gif" and a label, shown over a module window (inside that
// window's top-level window) while that module prepares data. Its owner is
// disabled while it shows.
#ifndef PIXBRIDGE_HOST_IOS_PROGRESS_DIALOG_H
#define PIXBRIDGE_HOST_IOS_PROGRESS_DIALOG_H

#include <QBasicTimer>
#include <QDialog>
#include <QImage>
#include <QPointer>

#include <string>
#include <vector>

class iOSProgressDialog : public QDialog {
public:
    iOSProgressDialog(float dpiScale, const std::string& key, const QString& animationPath);
    ~iOSProgressDialog() override;

    // Hidden and centred over `owner` (a module window, or null).
    void CreatePanel(QWidget* owner);
    void ShowPanel(bool visible);
    // The shown text := the label followed by "(current/total) ".
    void UpdateCount(int64_t current, int64_t total);
    void CentreOverOwner();

    const std::string& Key() const { return key_; }
    QString ShownText() const { return shownText_; }
    QWidget* Owner() const { return owner_; }
    size_t FrameCount() const { return frames_.size(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void reject() override {}  // Escape does not hide a loading panel

private:
    int Scaled(int n) const { return static_cast<int>(n * dpiScale_); }

    float dpiScale_ = 1.0f;
    std::string key_;
    QPointer<QWidget> owner_;
    QString label_;
    QString shownText_;
    std::vector<QImage> frames_;
    std::vector<int> delaysMs_;
    size_t frame_ = 0;
    QBasicTimer frameTimer_;  // timer 1
};

#endif  // PIXBRIDGE_HOST_IOS_PROGRESS_DIALOG_H
