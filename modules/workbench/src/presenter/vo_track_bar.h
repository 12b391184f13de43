// VoTrackBar: the slim quality slider under the quality box. The channel and
// its highlighted part are drawn by the content view's painter; the round
// thumb (VoTrackThumb, id 6010) is a child window that the user drags. A
// new percent value 0..100 goes to the callback, once per step.
#ifndef WORKBENCH_VO_TRACK_BAR_H
#define WORKBENCH_VO_TRACK_BAR_H

#include <canvas/accessibility.h>

#include <QColor>
#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>

class VoTrackBar;

// Screen readers see the thumb as the slider, with the value in percent.
class VoTrackThumb : public VoAccessibleValue {
public:
    static constexpr int kId = 6010;
    VoTrackThumb(QWidget* parent, VoTrackBar& bar);
    void SetColour(const QColor& colour) { colour_ = colour; update(); }
    void SetLimits(int minimumX, int maximumX, int fixedY);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    VoTrackBar& bar_;
    QColor colour_{0x5B, 0x9B, 0xD5};
    int minimumX_ = 0;
    int maximumX_ = 0;
    bool dragging_ = false;
};

class VoTrackBar {
public:
    using Callback = std::function<void(int value)>;

    VoTrackBar();
    ~VoTrackBar();

    void Create(QWidget* parent);
    void SetCallback(Callback callback) { callback_ = std::move(callback); }
    void SetColours(const QColor& thumb, const QColor& highlight);
    void SetThickness(int px) { thickness_ = px; }
    void SetRect(const QRect& rect);
    QRect Rect() const { return rect_; }
    // Places the thumb and the highlight at `value` (kept within 0..100).
    void SetValue(int value);
    int Value() const { return value_; }
    int Filled() const { return filled_; }
    void Draw(QPainter& painter) const;
    void SetVisible(bool visible);
    VoTrackThumb* Thumb() const { return thumb_; }

    // The thumb's left edge moved to `x` (parent coordinates) by the user.
    void ThumbMoved(int x);
    // A value the user chose other than by dragging (a screen reader):
    // placed, and told to the callback like a drag.
    void ChooseValue(int value);

private:
    QWidget* parent_ = nullptr;
    VoTrackThumb* thumb_ = nullptr;  // owned by the parent (Qt)
    Callback callback_;
    QRect rect_;
    QColor highlight_{0x99, 0xCE, 0xF3};
    int thickness_ = 6;
    int filled_ = 0;
    int value_ = 100;
};

#endif  // WORKBENCH_VO_TRACK_BAR_H
