// A text button drawn in the product's style: coloured text on a white (or
// given) background, optionally with a rounded outline, or a radio-style
// toggle that fills when checked. A click reaches the parent as a command
// with the button's id. Built on QPushButton, so Enter on the default button,
// Tab order and screen readers work as users expect.
#ifndef CANVAS_VO_SWITCH_BUTTON_H
#define CANVAS_VO_SWITCH_BUTTON_H

#include "canvas_export.h"

#include <QColor>
#include <QPushButton>

class CANVAS_EXPORT VoSwitchButton : public QPushButton {
public:
    VoSwitchButton();

    // Caption and colours: text and background when idle, and when pressed
    // (or checked, for a radio button).
    void Init(const QString& text, const QColor& textColor, const QColor& backgroundColor, const QColor& pressedTextColor,
              const QColor& pressedBackgroundColor);
    void SetRadio(bool radio);
    void SetRoundRect(bool round) { roundRect_ = round; update(); }
    void SetRoundRectPoint(int rx, int ry) { roundX_ = rx; roundY_ = ry; update(); }
    void SetBackgroundColor(const QColor& color) { backgroundColor_ = color; update(); }
    void SetColorBorder(const QColor& color) { borderColor_ = color; update(); }
    void SetHMargin(int px) { hMargin_ = px; FitToText(); }
    void SetVMargin(int px) { vMargin_ = px; FitToText(); }
    void SetDpiScale(float scale) { dpiScale_ = scale; }

    // Makes the button a child of `parent` with `font` (not owned; may be null) and `id`.
    void CreateButton(QWidget* parent, const QFont* font, int id);
    void SetText(const QString& text);
    void EnableWindow(bool enabled) { setEnabled(enabled); }
    void MoveWindow(int x, int y, int width, int height) { setGeometry(x, y, width, height); }
    int Id() const { return id_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // The image part of VoSwitchImageButton.
    virtual int ImageWidth() const { return 0; }
    virtual void DrawImage(QPainter&, const QRect&) {}
    float DpiScale() const { return dpiScale_; }

private:
    void FitToText();

    int id_ = 0;
    float dpiScale_ = 1.0f;
    bool radio_ = false;
    bool roundRect_ = false;
    int roundX_ = 4;
    int roundY_ = 4;
    int hMargin_ = 10;
    int vMargin_ = 6;
    QColor textColor_{0x2F, 0x6F, 0xEB};
    QColor backgroundColor_{Qt::white};
    QColor pressedTextColor_{0x24, 0x59, 0xC4};
    QColor pressedBackgroundColor_{Qt::white};
    QColor borderColor_;
};

// A switch button with an image to the left of its caption.
class CANVAS_EXPORT VoSwitchImageButton : public VoSwitchButton {
public:
    // The image is not owned; it is drawn at its size times the DPI scale.
    void SetImage(const QImage* image, const QImage* pressedImage = nullptr);

protected:
    int ImageWidth() const override;
    void DrawImage(QPainter& painter, const QRect& rect) override;

private:
    const QImage* image_ = nullptr;
    const QImage* pressedImage_ = nullptr;
};

#endif  // CANVAS_VO_SWITCH_BUTTON_H
