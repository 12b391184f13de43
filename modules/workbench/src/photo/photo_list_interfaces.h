// What the photo list model needs from around it: the list view control,
// the dialogs that bring photos in, the host's messages, and the content
// view that reacts to changes. Each is small so that a test can stand in
// for it.
#ifndef WORKBENCH_PHOTO_LIST_INTERFACES_H
#define WORKBENCH_PHOTO_LIST_INTERFACES_H

#include "photo/heic_photo.h"

#include <cstdint>
#include <string>
#include <vector>

// The virtual list view: it holds only a row count and its header box.
class PhotoListView {
public:
    virtual ~PhotoListView() = default;
    virtual void SetItemCount(int32_t count) = 0;
    virtual void SetHeaderCheck(bool checked) = 0;
    // New photos start with the header box's state.
    virtual bool GetHeaderChecked() const = 0;
    // Redraws the header box after SetHeaderCheck.
    virtual void RefreshHeaderCheck() = 0;
};

// The system's file dialogs.
class PhotoChooser {
public:
    virtual ~PhotoChooser() = default;
    // The multiple-selection open-file dialog with one filter; full paths
    // in the dialog's order. False when cancelled.
    virtual bool ChooseFiles(const std::u16string& filterDescription, const std::u16string& pattern,
                             std::vector<std::u16string>& paths) = 0;
    // The folder browser (file-system folders only, nothing preselected).
    // False when cancelled or when the choice is not a file-system folder.
    virtual bool ChooseFolder(const std::u16string& title, std::u16string& folder) = 0;
};

// The host's message dialogs (see HostMessages for the bus version).
class PhotoAsker {
public:
    virtual ~PhotoAsker() = default;
    virtual void Alert(const std::u16string& message, int32_t widthPx) = 0;
    // True only when the user confirmed.
    virtual bool Confirm(const std::u16string& question, int32_t widthPx) = 0;
};

// The content view's reactions; every call comes on the model's thread.
class PhotoListListener {
public:
    virtual ~PhotoListListener() = default;
    // The totals changed: rebuild the status texts, lay out, redraw.
    virtual void PhotoTotalsChanged(const PhotoTotals& totals) {}
    // One thumbnail request for these UTF-8 paths.
    virtual void ThumbnailsWanted(const std::vector<std::string>& paths) {}
    // A folder was added: open the loading dialog (comes just before its
    // ThumbnailsWanted).
    virtual void FolderLoadBegins() {}
    // The shown list became empty by deleting: forget the visible range.
    virtual void ShownListEmptied() {}
};

#endif  // WORKBENCH_PHOTO_LIST_INTERFACES_H
