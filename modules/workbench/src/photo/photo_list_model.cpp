#include "photo/photo_list_model.h"

#include "module/module_catalog.h"

#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>

#include <glog/logging.h>

#include <QImage>
#include <QStringView>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>

namespace {

bool ContainsIgnoringCase(const std::u16string& text, const std::u16string& part) {
    return QStringView(text.data(), static_cast<qsizetype>(text.size()))
        .contains(QStringView(part.data(), static_cast<qsizetype>(part.size())), Qt::CaseInsensitive);
}

// The names of the files directly inside `folder`, sorted so that a folder
// always comes in the same order. Names that are not valid UTF-8 cannot be
// named again through the system's UTF-16 paths and are left out.
std::vector<std::u16string> FileNamesIn(const std::u16string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::u16string> names;
    std::error_code ec;
    fs::directory_iterator it(fs::path(BASUtilityString::Utf16ToUtf8(folder)), ec);
    if (ec) {
        LOG(WARNING) << "cannot list folder " << BASUtilityString::Utf16ToUtf8(folder) << ": " << ec.message();
        return names;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        std::error_code typeError;
        if (it->is_directory(typeError)) continue;
        const std::string name = it->path().filename().string();
        std::u16string wide = BASUtilityString::Utf8ToUtf16(name);
        if (BASUtilityString::Utf16ToUtf8(wide) != name) {
            LOG(WARNING) << "skipping a file name that is not UTF-8 in " << BASUtilityString::Utf16ToUtf8(folder);
            continue;
        }
        names.push_back(std::move(wide));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A folder (or a link to one) is no photo, even when its name ends in ".heic".
bool IsFolder(const std::u16string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::path(BASUtilityString::Utf16ToUtf8(path)), ec);
}

}  // namespace

PhotoListModel::PhotoListModel(Parts parts) : parts_(parts) {}

PhotoListModel::PhotoPtr PhotoListModel::MakePhoto(const std::u16string& path) {
    const size_t slash = path.rfind(u'/');
    if (slash == std::u16string::npos || slash + 1 == path.size()) return nullptr;
    auto photo = std::make_shared<HeicPhoto>();
    photo->path = path;
    photo->name = path.substr(slash + 1);
    photo->sizeBytes = BASUtilityFile::GetFileSize(path);
    photo->sizeText = BASUtilityFile::ZLGetFormatSizeFromBytes(photo->sizeBytes);
    photo->dateText = FileDateText(path);
    return photo;
}

bool PhotoListModel::HasHeicExtension(const std::u16string& path) {
    static const char16_t kExtension[] = u".heic";
    const size_t dot = path.rfind(u'.');
    if (dot == std::u16string::npos || path.size() - dot != 5) return false;
    for (size_t i = 0; i < 5; ++i) {
        char16_t c = path[dot + i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != kExtension[i]) return false;
    }
    return true;
}

bool PhotoListModel::HeaderChecked() const { return parts_.view ? parts_.view->GetHeaderChecked() : true; }

int32_t PhotoListModel::DialogWidth(int32_t base) const { return static_cast<int32_t>(base * parts_.dpiScale); }

void PhotoListModel::Append(const PhotoPtr& photo) {
    photo->index = static_cast<int32_t>(fullList_.size());
    photo->checked = HeaderChecked();
    if (photo->checked) {
        ++totals_.checkedCount;
        totals_.checkedBytes += photo->sizeBytes;
    }
    fullList_.push_back(photo);
    pathIndex_[photo->path] = photo;
    ++totals_.shownCount;
    totals_.shownBytes += photo->sizeBytes;
}

bool PhotoListModel::AddScannedPath(const std::u16string& path, std::vector<std::string>& request) {
    if (!HasHeicExtension(path) || IsFolder(path)) return false;
    // Listed again on purpose: a photo that is already there gets a fresh
    // thumbnail.
    request.push_back(BASUtilityString::Utf16ToUtf8(path));
    if (pathIndex_.count(path) != 0) return false;
    PhotoPtr photo = MakePhoto(path);
    if (!photo) return false;
    Append(photo);
    return true;
}

void PhotoListModel::LeaveFilter() {
    filterActive_ = false;
    visibleList_.clear();
    filterIndex_.clear();
}

void PhotoListModel::Recount() {
    // Photos hidden by a search keep their check boxes; once they are shown
    // again the status line must count them as the rows show them.
    totals_ = PhotoTotals{};
    for (const PhotoPtr& photo : Shown()) {
        ++totals_.shownCount;
        totals_.shownBytes += photo->sizeBytes;
        if (photo->checked) {
            ++totals_.checkedCount;
            totals_.checkedBytes += photo->sizeBytes;
        }
    }
}

void PhotoListModel::TotalsChanged() {
    if (parts_.listener) parts_.listener->PhotoTotalsChanged(totals_);
}

void PhotoListModel::SetRowCount() {
    if (parts_.view) parts_.view->SetItemCount(ShownCount());
}

int32_t PhotoListModel::AddFiles() {
    if (!parts_.chooser) return 0;
    std::vector<std::u16string> paths;
    if (!parts_.chooser->ChooseFiles(TranslateConverter(u"heic-files-filters"), u"*.heic", paths)) return 0;

    std::vector<std::string> request;
    int32_t added = 0;
    for (const std::u16string& path : paths) {
        // The dialog's filter is the only extension check here.
        if (pathIndex_.count(path) != 0) continue;
        PhotoPtr photo = MakePhoto(path);
        if (!photo) continue;
        Append(photo);
        request.push_back(BASUtilityString::Utf16ToUtf8(path));
        ++added;
    }
    if (added == 0) return 0;
    LeaveFilter();
    SetRowCount();
    Recount();
    TotalsChanged();
    if (parts_.listener) parts_.listener->ThumbnailsWanted(request);
    return added;
}

int32_t PhotoListModel::AddFolder() {
    if (!parts_.chooser) return 0;
    std::u16string folder;
    if (!parts_.chooser->ChooseFolder(TranslateConverter(u"select-dir"), folder) || folder.empty()) return 0;
    if (folder.back() != u'/') folder.push_back(u'/');

    std::vector<std::string> request;
    int32_t added = 0;
    for (const std::u16string& name : FileNamesIn(folder)) {
        if (AddScannedPath(folder + name, request)) ++added;
    }
    if (request.empty()) return added;
    LeaveFilter();
    SetRowCount();
    Recount();
    TotalsChanged();
    if (parts_.listener) {
        parts_.listener->FolderLoadBegins();
        parts_.listener->ThumbnailsWanted(request);
    }
    return added;
}

int32_t PhotoListModel::AddDroppedPaths(const std::vector<std::u16string>& paths) {
    std::vector<std::string> request;
    int32_t added = 0;
    for (const std::u16string& path : paths) {
        if (AddScannedPath(path, request)) ++added;
    }
    if (added == 0) return 0;
    // Like the dialog adds: the new rows are shown, so the filter goes.
    LeaveFilter();
    SetRowCount();
    Recount();
    TotalsChanged();
    if (parts_.listener) parts_.listener->ThumbnailsWanted(request);
    return added;
}

PhotoListModel::PhotoPtr PhotoListModel::ShownPhoto(int32_t row) const {
    const std::vector<PhotoPtr>& shown = Shown();
    if (row < 0 || static_cast<size_t>(row) >= shown.size()) return nullptr;
    return shown[static_cast<size_t>(row)];
}

PhotoListModel::PhotoPtr PhotoListModel::FindPhoto(const std::u16string& path) const {
    auto it = pathIndex_.find(path);
    return it == pathIndex_.end() ? nullptr : it->second;
}

bool PhotoListModel::GetCheckState(int32_t row) const {
    PhotoPtr photo = ShownPhoto(row);
    return photo && photo->checked;
}

void PhotoListModel::SetCheckState(int32_t row, bool checked) {
    PhotoPtr photo = ShownPhoto(row);
    if (!photo || photo->checked == checked) return;
    photo->checked = checked;
    const int32_t step = checked ? 1 : -1;
    totals_.checkedCount += step;
    totals_.checkedBytes += step * photo->sizeBytes;
    TotalsChanged();
}

std::shared_ptr<QImage> PhotoListModel::GetThumbnail(int32_t row) const {
    PhotoPtr photo = ShownPhoto(row);
    return photo ? photo->thumbnail : nullptr;
}

std::u16string PhotoListModel::RowText(int32_t row, int32_t column) const {
    PhotoPtr photo = ShownPhoto(row);
    if (!photo) return {};
    switch (column) {
    case kColumnNumber: return BASUtilityString::Utf8ToUtf16(std::to_string(row + 1));
    case kColumnName: return photo->name;
    case kColumnSize: return photo->sizeText;
    case kColumnDimensions: return photo->dimensionsText;
    case kColumnDate: return photo->dateText;
    default: return {};
    }
}

void PhotoListModel::Search(const std::u16string& text) {
    const std::u16string query = text.substr(0, std::min(text.size(), kMaxSearchLength));
    visibleList_.clear();
    filterIndex_.clear();
    totals_ = PhotoTotals{};
    filterActive_ = !query.empty();
    for (size_t i = 0; i < fullList_.size(); ++i) {
        const PhotoPtr& photo = fullList_[i];
        if (filterActive_) {
            if (!ContainsIgnoringCase(photo->name, query) && !ContainsIgnoringCase(photo->dateText, query)) continue;
            visibleList_.push_back(photo);
            filterIndex_[photo->path] = static_cast<int32_t>(i);
        }
        photo->checked = false;
        ++totals_.shownCount;
        totals_.shownBytes += photo->sizeBytes;
    }
    SetRowCount();
    TotalsChanged();
}

void PhotoListModel::RebuildFilterIndex() {
    // Positions in the full list move when photos before them go.
    filterIndex_.clear();
    size_t next = 0;
    for (size_t i = 0; i < fullList_.size() && next < visibleList_.size(); ++i) {
        if (fullList_[i] == visibleList_[next]) {
            filterIndex_[fullList_[i]->path] = static_cast<int32_t>(i);
            ++next;
        }
    }
}

void PhotoListModel::DeleteChecked() {
    std::unordered_set<const HeicPhoto*> doomed;
    for (const PhotoPtr& photo : Shown()) {
        if (photo->checked) doomed.insert(photo.get());
    }
    if (doomed.empty()) {
        if (parts_.asker) parts_.asker->Alert(TranslateConverter(u"nothing-check-warning"), DialogWidth(300));
        return;
    }
    if (!parts_.asker || !parts_.asker->Confirm(TranslateConverter(u"ask-you-delete-heic"), DialogWidth(500))) return;

    auto isDoomed = [&](const PhotoPtr& photo) { return doomed.count(photo.get()) != 0; };
    for (const PhotoPtr& photo : Shown()) {
        if (!isDoomed(photo)) continue;
        --totals_.shownCount;
        totals_.shownBytes -= photo->sizeBytes;
        --totals_.checkedCount;
        totals_.checkedBytes -= photo->sizeBytes;
        pathIndex_.erase(photo->path);
    }
    // Only shown rows were collected, so hidden photos stay whatever their
    // check boxes say.
    if (filterActive_) {
        visibleList_.erase(std::remove_if(visibleList_.begin(), visibleList_.end(), isDoomed), visibleList_.end());
    }
    fullList_.erase(std::remove_if(fullList_.begin(), fullList_.end(), isDoomed), fullList_.end());
    if (filterActive_) RebuildFilterIndex();

    SetRowCount();
    if (Shown().empty()) {
        totals_ = PhotoTotals{};
        if (parts_.view) {
            parts_.view->SetHeaderCheck(false);
            parts_.view->RefreshHeaderCheck();
        }
        if (parts_.listener) parts_.listener->ShownListEmptied();
    }
    TotalsChanged();
}

PhotoListModel::PhotoPtr PhotoListModel::ApplyThumbnail(const std::u16string& path, std::shared_ptr<QImage> image,
                                                        int32_t width, int32_t height) {
    PhotoPtr photo = FindPhoto(path);
    if (!photo) return nullptr;
    photo->thumbnail = std::move(image);
    photo->width = width;
    photo->height = height;
    photo->dimensionsText = BASUtilityString::Utf8ToUtf16(std::to_string(width) + "x" + std::to_string(height));
    return photo;
}

std::vector<std::string> PhotoListModel::CheckedShownPaths() const {
    std::vector<std::string> paths;
    for (const PhotoPtr& photo : Shown()) {
        if (photo->checked) paths.push_back(BASUtilityString::Utf16ToUtf8(photo->path));
    }
    return paths;
}
