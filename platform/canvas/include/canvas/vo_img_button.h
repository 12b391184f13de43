// A button drawn with two images, normal and pressed (also used while the
// mouse hovers it or while it is checked). A click reaches the parent as a
// command with the button's id. The tooltip is also its accessible name.
#ifndef CANVAS_VO_IMG_BUTTON_H
#define CANVAS_VO_IMG_BUTTON_H

#include "canvas_export.h"

#include <QAbstractButton>
#include <QColor>

class CANVAS_EXPORT VoImgButton : public QAbstractButton {
public:
    VoImgButton();
    ~VoImgButton() override;

    // Images (not owned) and the position in the parent. A negative x or y
    // counts from the parent's right or bottom edge to the button's far edge,
    // and the button keeps that place when the parent is resized.
    void Init(const QImage* normal, int x, int y, const QImage* pressed);
    void SetNormalImage(const QImage* image) { normal_ = image; FitToImage(); update(); }
    void SetPressedImage(const QImage* image) { pressed_ = image; update(); }
    void SetBkgColor(const QColor& color) { background_ = color; update(); }
    void SetTooltip(const QString& text);
    void SetChecked(bool checked) { setCheckable(true); setChecked(checked); }
    bool IsChecked() const { return isChecked(); }
    void SetDpiScale(float scale) { dpiScale_ = scale; FitToImage(); }
    // `flag` non-zero: the button takes keyboard focus (Tab, Space).
    void CreateButton(QWidget* parent, int id, int flag = 0);
    void MoveWindow(int x, int y, int width, int height);
    int Id() const { return id_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitToImage();
    void Anchor();

    int id_ = 0;
    float dpiScale_ = 1.0f;
    const QImage* normal_ = nullptr;
    const QImage* pressed_ = nullptr;
    QColor background_;
    bool anchored_ = false;
    int anchorX_ = 0;
    int anchorY_ = 0;
};

#endif  // CANVAS_VO_IMG_BUTTON_H
