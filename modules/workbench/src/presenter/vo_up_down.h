// The quality up-down: two small arrow buttons beside the quality box. A
// step moves the position by one within 0..100 and reports it. Screen
// readers see a spin button with the position as its value.
#ifndef WORKBENCH_VO_UP_DOWN_H
#define WORKBENCH_VO_UP_DOWN_H

#include <canvas/accessibility.h>

#include <QWidget>

#include <functional>

class QToolButton;

class VoUpDown : public VoAccessibleValue {
public:
    static constexpr int kId = 6012;
    explicit VoUpDown(QWidget* parent);

    void SetPosition(int position);
    int Position() const { return position_; }
    void SetChanged(std::function<void(int)> changed) { changed_ = std::move(changed); }
    // One step up (+1) or down (-1), as an arrow click or key does.
    void Step(int delta);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int position_ = 100;
    QToolButton* up_ = nullptr;    // owned by this widget
    QToolButton* down_ = nullptr;  // owned by this widget
    std::function<void(int)> changed_;
};

#endif  // WORKBENCH_VO_UP_DOWN_H
