#include "presenter/vo_content_presenter.h"

#include "module/module_catalog.h"

#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>
#include <canvas/dispatch_queue.h>
#include <canvas/vo_edit.h>
#include <canvas/vo_img_button.h>
#include <canvas/vo_list_view.h>
#include <canvas/vo_switch_button.h>
#include <pixbridge/command_names.h>

#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <set>

namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

const QColor kBorder(0xDC, 0xDC, 0xDC);

// Called by the progress dialog when the user ends it before the end.
void DialogEnd(void* /*window*/, void* presenter) {
    if (presenter) static_cast<VoContentPresenter*>(presenter)->StopConversion();
}

}  // namespace

VoContentPresenter::VoContentPresenter(QWidget* window, const ViewResources& resources, PhotoChooser* chooser,
                                       PhotoAsker* asker, Notify notify)
    : window_(window),
      res_(resources),
      chooser_(chooser),
      asker_(asker),
      notify_(std::move(notify)),
      panel_(window, resources, chooser,
             [this] {
                 SetVisible(visible_);
                 Layout(width_, height_);
             }),
      thumbnails_(resources.Bus()),
      flow_(resources, &DialogEnd, window, this, [this] { FinishingChanged(); }),
      alive_(std::make_shared<VoContentPresenter*>(this)),
      rowHeight_(resources.D(60)) {
    PhotoListModel::Parts parts;
    parts.view = this;
    parts.chooser = chooser;
    parts.asker = asker;
    parts.listener = this;
    parts.dpiScale = resources.DpiScale();
    model_ = std::make_unique<PhotoListModel>(parts);
}

VoContentPresenter::~VoContentPresenter() { *alive_ = nullptr; }

// ---- creation ----

void VoContentPresenter::Create() {
    CreateOperatorBar();
    CreateList();
    panel_.Create();
    SetTabOrder();
    SetVisible(false);
}

void VoContentPresenter::SetTabOrder() {
    // Tab follows the eye: the operator bar left to right, the list (which
    // Tab leaves, Tab does not walk its cells), then the panel top to bottom.
    std::vector<QWidget*> order = {addFile_, addFolder_, delete_, searchBox_, searchButton_, list_};
    const std::vector<QWidget*> panel = panel_.TabOrder();
    order.insert(order.end(), panel.begin(), panel.end());
    for (size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void VoContentPresenter::FocusSearch() {
    if (!visible_ || !searchBox_) return;
    searchBox_->LineEdit()->setFocus(Qt::ShortcutFocusReason);
    searchBox_->LineEdit()->selectAll();
}

void VoContentPresenter::FocusList() {
    if (visible_ && list_) list_->setFocus(Qt::OtherFocusReason);
}

void VoContentPresenter::CreateOperatorBar() {
    const QColor pressedBack = res_.Colour("color:operator:button:background:pressed", QColor(0xE6, 0xEE, 0xFD));
    const QColor pressedText = res_.Colour("color:operator:button:font:pressed", QColor(0x2F, 0x6F, 0xEB));
    auto make = [&](int id, const char16_t* key, const char* normal, const char* pressed) {
        auto* button = new VoSwitchImageButton();  // a child of the window from CreateButton on
        button->SetDpiScale(res_.DpiScale());
        button->SetImage(res_.Image(normal), res_.Image(pressed));
        button->CreateButton(window_, &res_.Font("font:gdiplus:16:normal"), id);
        button->SetHMargin(res_.D(8));
        button->SetVMargin(res_.D(4));
        button->SetRoundRect(true);
        button->SetRoundRectPoint(res_.D(4), res_.D(4));
        button->SetColorBorder(Qt::white);
        button->Init(ViewResources::Tr(key), QColor(0x33, 0x33, 0x33), Qt::white, pressedText, pressedBack);
        return button;
    };
    addFile_ = make(kAddFile, u"add-file", "operator/add-file-normal.png", "operator/add-file-pressed.png");
    addFolder_ = make(kAddFolder, u"add-folder", "operator/add-folder-normal.png", "operator/add-folder-pressed.png");
    delete_ = make(kDelete, u"delete", "operator/delete-normal.png", "operator/delete-pressed.png");
    // The tooltips name the keys that do the same.
    addFile_->setToolTip(ViewResources::Tr(u"add-file-tooltip"));
    addFolder_->setToolTip(ViewResources::Tr(u"add-folder-tooltip"));
    delete_->setToolTip(ViewResources::Tr(u"delete-tooltip"));

    searchBox_ = new VoEdit();  // a child of the window from Create on
    searchBox_->Create(window_, QRect(0, 0, res_.D(120), res_.D(21)), QString(), VoEdit::kBorder, kSearchBox);
    searchBox_->SetFont(&res_.Font("font:16:normal"));
    // Screen readers name a text field by the widget that takes the focus.
    searchBox_->SetAccessibleName(ViewResources::Tr(u"search"));
    searchBox_->setToolTip(ViewResources::Tr(u"search-box-tooltip"));
    searchButton_ = new VoImgButton();  // a child of the window from CreateButton on
    searchButton_->SetDpiScale(res_.DpiScale());
    searchButton_->CreateButton(window_, kSearchButton, 1);
    searchButton_->Init(res_.Image("operator/operate-search.png"), 0, 0, res_.Image("operator/operate-search.png"));
    searchButton_->SetBkgColor(Qt::white);
    searchButton_->SetTooltip(ViewResources::Tr(u"search"));
}

void VoContentPresenter::CreateList() {
    list_ = new VoListView();  // a child of the window from CreateListView on
    list_->SetDpiScale(res_.DpiScale());
    list_->SetCheckBoxImage(res_.Image("check-yes.png"), res_.Image("check-no.png"), res_.Image("check-no.png"));
    list_->CreateListView(window_, kList);
    list_->SetItemHeight(rowHeight_);
    list_->SetHeaderCheck(true);
    list_->SetHeaderCheckName(ViewResources::Tr(u"select-all"));
    list_->setFont(res_.Font("font:16:normal"));
    list_->horizontalHeader()->setFont(res_.Font("font:16:normal"));
    list_->horizontalHeader()->setFixedHeight(res_.D(32));
    list_->InsertColumn(0, QString(), 80);
    list_->InsertColumn(1, ViewResources::Tr(u"name"), 200);
    list_->InsertColumn(2, ViewResources::Tr(u"size"), 80);
    list_->InsertColumn(3, ViewResources::Tr(u"dimensions"), 120);
    list_->InsertColumn(4, ViewResources::Tr(u"date"), 142);
    list_->SetDefaultPhoto(res_.Image("content-photo-thumbnail.png"));
    list_->SetPhotoGetFunc([this](int row) -> const QImage* {
        const std::shared_ptr<QImage> image = model_->GetThumbnail(row);
        return image.get();  // the record keeps it alive while it is shown
    });
    list_->SetScrollItemScopeFuncCallback([this](int first, int last) { SetVisibleRange(first, last); });
    list_->SetFuncGetCheckState([this](int row) { return model_->GetCheckState(row); });
    list_->SetFuncSetCheckState([this](int row, bool checked) { model_->SetCheckState(row, checked); });
    list_->SetTextFunc([this](int row, int column) { return row < 0 ? QString() : Q(model_->RowText(row, column)); });
    // Delete in the list removes the ticked photos, asking first, as the remove button does.
    list_->SetDeleteKeyFunc([this] { DeleteChecked(); });
}

void VoContentPresenter::SetVisible(bool visible) {
    visible_ = visible;
    for (QWidget* w : std::initializer_list<QWidget*>{addFile_, addFolder_, delete_, searchBox_, searchButton_, list_}) {
        if (w) w->setVisible(visible);
    }
    panel_.SetVisible(visible);
}

// ---- layout and painting ----

void VoContentPresenter::Layout(int width, int height) {
    width_ = width;
    height_ = height;
    auto d = [this](double n) { return res_.D(n); };

    // Operator bar.
    int x = d(20);
    for (VoSwitchImageButton* b : {addFile_, addFolder_, delete_}) {
        b->move(x, d(6));
        x = b->geometry().right() + 1 + d(20);
    }
    // List.
    listRect_ = QRect(QPoint(d(4), d(4) + d(32)), QPoint(width - d(302) - d(4) - 1, height - d(32) - 1));
    list_->setGeometry(listRect_);
    searchButton_->move(listRect_.right() + 1 - d(20) - searchButton_->width(), d(4));
    // The search box gives way to the buttons' texts, longer in some
    // languages ("Entfernen", "Retirer"): up to 120 d wide, never over the
    // remove button while 60 d are left.
    const int searchRight = searchButton_->x() - d(2);
    const int searchLeft =
        std::max(searchRight - d(120), std::min(delete_->geometry().right() + 1 + d(12), searchRight - d(60)));
    searchBox_->setGeometry(searchLeft, d(4), searchRight - searchLeft, d(21));
    int scrollBar = list_->verticalScrollBar()->isVisible() ? list_->verticalScrollBar()->width() : 0;
    if (scrollBar < 0 || scrollBar > d(20)) scrollBar = 0;
    const int usable = listRect_.width() - scrollBar;
    // The size column is a little wider than the name gives up: "1009.22 KB" fits.
    const int shares[] = {12, 28, 16, 20, 24};
    for (int c = 0; c < 5; ++c) list_->SetColumnWidth(c, usable * shares[c] / 100);
    rowsPerPage_ = std::max(1, (listRect_.height() - d(32)) / std::max(1, rowHeight_));

    // Output panel, beside the list and as high.
    panel_.Layout(listRect_.right() + 1 + d(4), width - d(4), listRect_.bottom());

    status_ = QRect(0, height - d(32), width, d(32));
    if (window_) window_->update();
}

void VoContentPresenter::Paint(QPainter& painter) const {
    if (!visible_) return;
    auto d = [this](double n) { return res_.D(n); };
    panel_.PaintBackground(painter);
    painter.setPen(kBorder);
    painter.drawLine(0, d(4) + d(32) - 1, width_, d(4) + d(32) - 1);
    painter.drawRect(listRect_.adjusted(-1, -1, 0, 0));
    const QRect panel = panel_.Rect();
    painter.drawLine(panel.left(), 0, panel.left(), panel.bottom());
    painter.drawLine(0, status_.top(), width_, status_.top());
    panel_.Paint(painter);

    // The status line: all shown photos, then the ticked ones.
    painter.setFont(res_.Font("font:gdiplus:16:normal"));
    painter.setPen(QColor(0x55, 0x55, 0x55));
    int x = d(20);
    const QFontMetrics metrics(res_.Font("font:gdiplus:16:normal"));
    if (model_->Totals().shownCount > 0) {
        painter.drawText(QRect(x, status_.top(), width_, status_.height()), Qt::AlignLeft | Qt::AlignVCenter, totalText_);
        x += metrics.horizontalAdvance(totalText_) + d(16);
    }
    if (model_->Totals().checkedCount > 0) {
        painter.setPen(kBorder);
        painter.drawLine(x, status_.top() + d(9), x, status_.bottom() - d(9));
        painter.setPen(QColor(0x55, 0x55, 0x55));
        painter.drawText(QRect(x + d(16), status_.top(), width_, status_.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         checkedText_);
    }
    if (Finishing()) {
        // At the right, under the disabled "convert".
        painter.setPen(QColor(0x55, 0x55, 0x55));
        painter.drawText(QRect(status_.left(), status_.top(), status_.width() - d(12), status_.height()),
                         Qt::AlignRight | Qt::AlignVCenter, FinishingText());
    }
}

QString VoContentPresenter::FinishingText() { return ViewResources::Tr(u"convert-finishing-last-photos"); }

// ---- commands ----

bool VoContentPresenter::OnCommand(int id) {
    switch (id) {
    case kAddFile:
        AddFiles();
        return true;
    case kAddFolder:
        AddFolder();
        return true;
    case kDelete:
        DeleteChecked();
        return true;
    case kSearchButton:
    case kSearchBox:
        Search(searchBox_->Text());
        return true;
    case kConvert:
        Convert();
        return true;
    default:
        return panel_.OnCommand(id);
    }
}

int32_t VoContentPresenter::AddFiles() {
    const int32_t added = model_->AddFiles();
    if (added > 0 && notify_) notify_(LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_BEGIN);
    return added;
}

int32_t VoContentPresenter::AddFolder() { return model_->AddFolder(); }

int32_t VoContentPresenter::AddDropped(const std::vector<std::u16string>& paths) { return model_->AddDroppedPaths(paths); }

void VoContentPresenter::Search(const QString& text) { model_->Search(text.left(259).toStdU16String()); }

void VoContentPresenter::DeleteChecked() { model_->DeleteChecked(); }

void VoContentPresenter::SetChooser(PhotoChooser* chooser) {
    chooser_ = chooser;
    panel_.SetChooser(chooser);
    model_->SetChooser(chooser);
}

// ---- the list and its model ----

void VoContentPresenter::SetItemCount(int32_t count) {
    if (list_) list_->SetItemCount(count);
}

void VoContentPresenter::SetHeaderCheck(bool checked) {
    if (list_) list_->SetHeaderCheck(checked);
}

bool VoContentPresenter::GetHeaderChecked() const { return !list_ || list_->GetHeaderChecked(); }

void VoContentPresenter::RefreshHeaderCheck() {
    if (list_) list_->RefreshHeaderCheck();
}

void VoContentPresenter::PhotoTotalsChanged(const PhotoTotals& totals) {
    totalText_ = Q(BASUtilityString::Format(TranslateConverter(u"status-section-total-size-%d-%s").c_str(),
                                            totals.shownCount,
                                            BASUtilityFile::ZLGetFormatSizeFromBytes(totals.shownBytes).c_str()));
    checkedText_ = Q(BASUtilityString::Format(TranslateConverter(u"status-section-check-size-%d-%s").c_str(),
                                              totals.checkedCount,
                                              BASUtilityFile::ZLGetFormatSizeFromBytes(totals.checkedBytes).c_str()));
    // The table is named by what it holds, as the status line says it.
    if (list_) list_->setAccessibleName(totalText_);
    if (window_) window_->update(status_);
}

std::vector<std::string> VoContentPresenter::VisibleFirst(const std::vector<std::string>& paths) const {
    std::set<std::string> onScreen;
    const int last = std::min(model_->ShownCount() - 1, visibleLast_ + rowsPerPage_);
    for (int row = std::max(0, visibleFirst_); row <= last; ++row) {
        if (auto photo = model_->ShownPhoto(row)) onScreen.insert(BASUtilityString::Utf16ToUtf8(photo->path));
    }
    std::vector<std::string> ordered;
    ordered.reserve(paths.size());
    for (const std::string& p : paths) {
        if (onScreen.count(p)) ordered.push_back(p);
    }
    for (const std::string& p : paths) {
        if (!onScreen.count(p)) ordered.push_back(p);
    }
    return ordered;
}

void VoContentPresenter::ThumbnailsWanted(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    std::weak_ptr<VoContentPresenter*> alive = alive_;
    const HeicWork::ThumbnailCallback callback = [alive](std::shared_ptr<QImage> image, const std::u16string& path,
                                                         int32_t kind, int32_t width, int32_t height, int32_t index,
                                                         int32_t total) {
        // Worker thread: only plain data crosses to the main thread.
        DispatchQueue::DispatchGetMainQueue()->DispatchAsync([=] {
            auto self = alive.lock();
            if (self && *self) (*self)->ThumbnailArrived(image, path, kind, width, height, index, total);
        });
    };
    // Thumbnails fill a row in device pixels: rowHeight layout pixels, each
    // as many device pixels as Qt's ratio for the window's screen. The rows
    // on screen come first.
    thumbnailRatio_ = window_ ? window_->devicePixelRatioF() : 1.0;
    thumbnails_.Request(VisibleFirst(paths), static_cast<int>(rowHeight_ * thumbnailRatio_), callback);
}

void VoContentPresenter::FolderLoadBegins() {
    if (notify_) notify_(LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_BEGIN);
}

void VoContentPresenter::ShownListEmptied() { SetVisibleRange(0, 0); }

void VoContentPresenter::SetVisibleRange(int first, int last) {
    visibleFirst_ = first;
    visibleLast_ = last;
}

void VoContentPresenter::ThumbnailArrived(std::shared_ptr<QImage> image, const std::u16string& path, int32_t kind,
                                          int32_t width, int32_t height, int32_t index, int32_t total) {
    if (kind == 1 || kind == 6) {
        // The loading dialog goes when the last stream has ended.
        if (thumbnails_.StreamEnded() && notify_) notify_(LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_END);
        return;
    }
    if (kind != 2) return;
    const ThumbnailStreams::Progress progress = thumbnails_.Arrived(index, total);
    if (image) image->setDevicePixelRatio(thumbnailRatio_);
    const PhotoListModel::PhotoPtr photo = model_->ApplyThumbnail(path, std::move(image), width, height);
    if (!photo) return;
    // Redraw the photo's row only when it is on screen or a page below it.
    const int last = std::min(model_->ShownCount() - 1, visibleLast_ + rowsPerPage_);
    for (int row = std::max(0, visibleFirst_); row <= last; ++row) {
        if (model_->ShownPhoto(row) == photo) {
            list_->RefreshRangeCell(1, 3, row);
            ++refreshedRows_;
            break;
        }
    }
    ModuleCommand update = MakeCommand(LIBPLATFORM_COMMAND_UPDATE_DATA_TYPE_LOADING_DIALOG);
    update.text = const_cast<char*>(kDeviceId);
    // Counted over every stream of the add, not per stream.
    update.total = progress.total;
    update.current = progress.current;
    res_.Bus().Post(update);
}

// ---- conversion ----

std::string VoContentPresenter::BuildRequest() const {
    return ConversionFlow::BuildRequest(model_->CheckedShownPaths(), panel_.Settings());
}

bool VoContentPresenter::Convert() {
    // One job at a time (ConversionFlow::Start says why).
    if (flow_.Busy()) return false;
    if (model_->CheckedShownPaths().empty()) {
        if (asker_) asker_->Alert(TranslateConverter(u"nothing-check-warning"), res_.D(300));
        return false;
    }
    const std::u16string& folder = panel_.OutputFolder();
    if (folder.empty() || !BASUtilityFile::IsFileExist(folder)) {
        if (asker_) asker_->Alert(TranslateConverter(u"please-select-output-folder"), res_.D(400));
        return false;
    }
    panel_.TakeQualityFromBox();
    return flow_.Start(BuildRequest());
}

void VoContentPresenter::StopWork() {
    thumbnails_.Stop();
    StopConversion();
}

void VoContentPresenter::StopConversion() { flow_.Stop(); }

void VoContentPresenter::FinishingChanged() {
    if (panel_.ConvertButton()) panel_.ConvertButton()->setEnabled(!flow_.Finishing());
    if (window_) window_->update(status_);
}
