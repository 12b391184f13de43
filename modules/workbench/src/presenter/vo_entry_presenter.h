// VoEntryPresenter: the empty workbench a new user meets: a dashed drop zone
// with a picture, a hint and the "add-heic" button, and two pictures with
// texts below it. Not a window: its button is a child of the delegate's
// window, which paints it.
#ifndef WORKBENCH_VO_ENTRY_PRESENTER_H
#define WORKBENCH_VO_ENTRY_PRESENTER_H

#include "presenter/view_resources.h"

#include <QPainterPath>
#include <QRect>

class QWidget;
class VoSwitchButton;

class VoEntryPresenter {
public:
    static constexpr int kAddId = 5051;

    VoEntryPresenter(QWidget* window, const ViewResources& resources);
    void Create();
    void SetVisible(bool visible);
    // The keyboard starts on the add button: Space opens the chooser.
    void FocusAddButton();
    void Layout(int width, int height);
    void Paint(QPainter& painter) const;

    VoSwitchButton* AddButton() const { return add_; }
    QRect DropZone() const { return zone_.boundingRect().toRect(); }

private:
    QWidget* window_ = nullptr;
    const ViewResources& res_;
    VoSwitchButton* add_ = nullptr;  // a child of the window
    bool visible_ = false;
    QPainterPath zone_;
    QRect mainPicture_;
    QRect hint_;
    QRect singlePicture_;
    QRect singleText_;
    QRect batchPicture_;
    QRect batchText_;
};

#endif  // WORKBENCH_VO_ENTRY_PRESENTER_H
