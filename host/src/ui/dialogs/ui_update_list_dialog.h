// UiUpdateListDialog: what a newer version brings. A heading, the release
// notes of every newer version in a read-only box, a link to the full
// version history, and "remind-me-later" / "update-now". While it holds a
// pending update, a new check reopens it instead of asking the server again.
#ifndef PIXBRIDGE_HOST_UI_UPDATE_LIST_DIALOG_H
#define PIXBRIDGE_HOST_UI_UPDATE_LIST_DIALOG_H

#include "ui_dialog.h"

#include <canvas/vo_edit.h>
#include <canvas/vo_switch_button.h>

#include <functional>
#include <memory>
#include <string>

class QLabel;

class UiUpdateListDialog : public UiDialog {
public:
    static constexpr int kHistoryLinkId = 5051;
    static constexpr int kLaterId = 5052;
    static constexpr int kUpdateNowId = 5053;
    static constexpr int kNotesId = 5054;

    // `historyUrl` is opened by the link (http and https only).
    UiUpdateListDialog(float dpiScale, const QImage* closeNormal, const QImage* closePressed, std::string historyUrl);
    ~UiUpdateListDialog() override;

    // Shows it from the top of the notes, centred over its parent.
    void Open();
    void SetUpdateNowAction(std::function<void()> action) { updateNow_ = std::move(action); }
    void ClearNotes();
    void AppendNotes(const std::u16string& text);
    QString Notes() const { return notes_.Text(); }
    void SetPending(bool pending) { pending_ = pending; }
    bool Pending() const { return pending_; }

    VoSwitchButton& LaterButton() { return laterButton_; }
    VoSwitchButton& UpdateNowButton() { return updateNowButton_; }
    QLabel* HistoryLink() const { return link_.get(); }
    VoEdit& NotesBox() { return notes_; }

protected:
    void InitDialog() override;
    void DrawContent(QPainter& painter, const QRect& body) override;
    void OnCommand(int id) override;

private:
    void Layout();
    QRect NotesFrame() const;

    std::string historyUrl_;
    std::function<void()> updateNow_;
    bool pending_ = false;
    QString notesText_;
    VoEdit notes_;
    VoSwitchButton laterButton_;
    VoSwitchButton updateNowButton_;
    std::unique_ptr<QLabel> link_;
};

#endif  // PIXBRIDGE_HOST_UI_UPDATE_LIST_DIALOG_H
