// The user's HEIC photos as the content view lists them: every photo in the
// order of adding, the rows a search leaves, the check boxes and the totals
// of the status line. Main thread only; it never touches a widget itself.
#ifndef WORKBENCH_PHOTO_LIST_MODEL_H
#define WORKBENCH_PHOTO_LIST_MODEL_H

#include "photo/heic_photo.h"
#include "photo/photo_list_interfaces.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class PhotoListModel {
public:
    using PhotoPtr = std::shared_ptr<HeicPhoto>;

    // Any part may be null: a missing view counts its header box as
    // checked, a missing chooser or asker as a cancelled dialog.
    struct Parts {
        PhotoListView* view = nullptr;
        PhotoChooser* chooser = nullptr;
        PhotoAsker* asker = nullptr;
        PhotoListListener* listener = nullptr;
        // Scales the widths of the host's message dialogs.
        float dpiScale = 1.0f;
    };

    // Row texts by column.
    enum Column : int32_t { kColumnNumber = 0, kColumnName, kColumnSize, kColumnDimensions, kColumnDate };
    static constexpr size_t kMaxSearchLength = 259;

    explicit PhotoListModel(Parts parts);
    // The dialogs to bring photos in from now on (null: none).
    void SetChooser(PhotoChooser* chooser) { parts_.chooser = chooser; }

    // A photo for `path` (name, size, date); null for a path without a
    // folder part or without a file name.
    static PhotoPtr MakePhoto(const std::u16string& path);
    // True when the text from the path's last "." is ".heic", in any case.
    static bool HasHeicExtension(const std::u16string& path);

    // The open-file dialog; returns the number of photos added.
    int32_t AddFiles();
    // The folder browser; the ".heic" files directly inside the folder (not
    // in its sub-folders). Returns the number of photos added.
    int32_t AddFolder();
    // Paths dropped on the window; returns the number of photos added.
    // Folders are passed over, whatever their names end in.
    int32_t AddDroppedPaths(const std::vector<std::u16string>& paths);

    // Rows are of the shown list; -1 and rows out of range give nothing.
    bool GetCheckState(int32_t row) const;
    // Changes the counters only when the row's box really changes.
    void SetCheckState(int32_t row, bool checked);
    std::shared_ptr<QImage> GetThumbnail(int32_t row) const;
    std::u16string RowText(int32_t row, int32_t column) const;

    // Shows the photos whose name or date contains `text` (ignoring case),
    // all unchecked; an empty text shows every photo again, unchecked.
    void Search(const std::u16string& text);
    // Removes the checked rows of the shown list after the user confirms;
    // files on disk are not touched.
    void DeleteChecked();
    // The thumbnail of `path` has arrived; null when the photo is gone.
    PhotoPtr ApplyThumbnail(const std::u16string& path, std::shared_ptr<QImage> image, int32_t width,
                            int32_t height);

    int32_t ShownCount() const { return static_cast<int32_t>(Shown().size()); }
    PhotoPtr ShownPhoto(int32_t row) const;
    PhotoPtr FindPhoto(const std::u16string& path) const;
    // The checked photos of the shown list, in list order, as UTF-8 paths.
    std::vector<std::string> CheckedShownPaths() const;

    const std::vector<PhotoPtr>& FullList() const { return fullList_; }
    const std::vector<PhotoPtr>& VisibleList() const { return visibleList_; }
    bool FilterActive() const { return filterActive_; }
    const PhotoTotals& Totals() const { return totals_; }
    size_t IndexedCount() const { return pathIndex_.size(); }

private:
    const std::vector<PhotoPtr>& Shown() const { return filterActive_ ? visibleList_ : fullList_; }
    void Append(const PhotoPtr& photo);
    // One scanned or dropped path; true when it became a new photo.
    bool AddScannedPath(const std::u16string& path, std::vector<std::string>& request);
    void LeaveFilter();
    void Recount();
    void TotalsChanged();
    void SetRowCount();
    void RemoveShownRow(size_t row);
    void RebuildFilterIndex();
    bool HeaderChecked() const;
    int32_t DialogWidth(int32_t base) const;

    Parts parts_;
    std::vector<PhotoPtr> fullList_;
    std::vector<PhotoPtr> visibleList_;
    bool filterActive_ = false;
    std::map<std::u16string, PhotoPtr> pathIndex_;
    std::map<std::u16string, int32_t> filterIndex_;
    PhotoTotals totals_;
};

#endif  // WORKBENCH_PHOTO_LIST_MODEL_H
