#include "presenter/vo_content_presenter.h"

#include "module/module_catalog.h"
#include "presenter/vo_up_down.h"

#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_file.h>
#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_schedular.h>
#include <canvas/dispatch_queue.h>
#include <canvas/utils.h>
#include <canvas/vo_edit.h>
#include <canvas/vo_img_button.h>
#include <canvas/vo_list_view.h>
#include <canvas/vo_switch_button.h>
#include <pixbridge/command_names.h>
#include <pixbridge/host_payloads.h>

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>

#include <glog/logging.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <set>
#include <thread>

namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

std::string ToText(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

const QColor kBorder(0xDC, 0xDC, 0xDC);
const QColor kPanel(0xF9, 0xF9, 0xF9);

// Up and Down in the quality box step the up-down beside it, as arrow keys
// in a box with an up-down buddy do.
class StepKeys : public QObject {
public:
    StepKeys(QObject* parent, VoUpDown* upDown) : QObject(parent), upDown_(upDown) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                upDown_->Step(key == Qt::Key_Up ? +1 : -1);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    VoUpDown* upDown_;
};

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
      alive_(std::make_shared<VoContentPresenter*>(this)),
      rowHeight_(resources.D(60)) {
    PhotoListModel::Parts parts;
    parts.view = this;
    parts.chooser = chooser;
    parts.asker = asker;
    parts.listener = this;
    parts.dpiScale = resources.DpiScale();
    model_ = std::make_unique<PhotoListModel>(parts);
    drainTimer_ = std::make_unique<QTimer>();
    QObject::connect(drainTimer_.get(), &QTimer::timeout, [this] { CheckDrained(); });
    work_ = std::make_unique<HeicWork>(resources.Bus());
    const size_t streams = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, kThumbnailStreams);
    for (size_t i = 0; i < streams; ++i) thumbnailWorks_.push_back(std::make_unique<HeicWork>(resources.Bus()));
    if (const BASUserDefaults* standard = BASUserDefaults::StandardUserDefaults()) {
        if (const char* folder = standard->GetString(kFolderKey)) outputFolder_ = BASUtilityString::Utf8ToUtf16(folder);
    }
}

VoContentPresenter::~VoContentPresenter() {
    QObject::disconnect(focusWatch_);
    *alive_ = nullptr;
    work_.reset();  // waits for callbacks still running elsewhere
    thumbnailWorks_.clear();
}

// ---- creation ----

void VoContentPresenter::Create() {
    CreateOperatorBar();
    CreateList();
    CreatePanel();
    SetTabOrder();
    SetVisible(false);
    // The panel's two boxes have no frame of their own: their drawn borders
    // show the keyboard's place.
    // Guarded pointers: the focus also moves while the window takes its
    // controls down.
    const QPointer<QWidget> window = window_;
    const QPointer<QLineEdit> quality = qualityBox_->LineEdit();
    const QPointer<QLineEdit> folder = folderBox_->LineEdit();
    focusWatch_ = QObject::connect(qApp, &QApplication::focusChanged, window_, [=](QWidget* from, QWidget* to) {
        const bool box = (quality && (from == quality || to == quality)) || (folder && (from == folder || to == folder));
        if (box && window) window->update();
    });
}

void VoContentPresenter::SetTabOrder() {
    // Tab follows the eye: the operator bar left to right, the list (which
    // Tab leaves, Tab does not walk its cells), then the panel top to bottom.
    QWidget* const order[] = {addFile_, addFolder_, delete_, searchBox_, searchButton_, list_, format_,
                              keepExif_, qualityBox_, upDown_, folderBox_, browse_, openFolder_, convert_};
    for (size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
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

void VoContentPresenter::CreatePanel() {
    const QColor normal = res_.Colour("color:default:button:normal", QColor(0x2F, 0x6F, 0xEB));
    const QColor pressed = res_.Colour("color:default:button:pressed", QColor(0x24, 0x59, 0xC4));

    format_ = new QComboBox(window_);  // a child: owned by the window
    format_->addItem(QStringLiteral("JPEG/JPG"));
    format_->addItem(QStringLiteral("PNG"));
    format_->setCurrentIndex(0);
    format_->setFont(res_.Font("font:16:normal"));
    format_->setAccessibleName(ViewResources::Tr(u"output-format"));
    QObject::connect(format_, QOverload<int>::of(&QComboBox::currentIndexChanged), window_,
                     [this](int index) { SetFormat(index); });

    keepExif_ = new VoImgButton();  // a child of the window from CreateButton on
    keepExif_->SetDpiScale(res_.DpiScale());
    keepExif_->CreateButton(window_, kKeepExif, 1);
    keepExif_->Init(res_.Image("right/on.png"), 0, 0, res_.Image("right/on.png"));
    keepExif_->SetBkgColor(kPanel);
    keepExif_->SetTooltip(ViewResources::Tr(u"keep-exif-data"));

    qualityBox_ = new VoEdit();  // a child of the window from Create on
    qualityBox_->Create(window_, QRect(), QStringLiteral("100%"), VoEdit::kSingleLine, kQualityBox);
    qualityBox_->SetFont(&res_.Font("font:16:normal"));
    qualityBox_->SetAccessibleName(ViewResources::Tr(u"quality"));
    qualityBox_->LineEdit()->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette palette = qualityBox_->LineEdit()->palette();
    palette.setColor(QPalette::Base, kPanel);
    qualityBox_->LineEdit()->setPalette(palette);

    upDown_ = new VoUpDown(window_);  // a child: owned by the window
    upDown_->setAccessibleName(ViewResources::Tr(u"quality"));
    upDown_->SetPosition(100);
    upDown_->SetChanged([this](int position) {
        ShowQuality(position);
        quality_ = position;
        trackBar_.SetValue(position);
    });

    qualityBox_->LineEdit()->installEventFilter(new StepKeys(qualityBox_, upDown_));  // owned by the box

    hint_ = new VoImgButton();  // a child of the window from CreateButton on
    hint_->SetDpiScale(1.0f);
    hint_->CreateButton(window_, kHint, 0);
    hint_->Init(res_.HostImage("alert.png"), 0, 0, res_.HostImage("alert.png"));
    hint_->resize(res_.D(12), res_.D(12));
    hint_->SetBkgColor(kPanel);
    hint_->SetTooltip(ViewResources::Tr(u"jpeg-quality-percent-recommend"));

    trackBar_.Create(window_);
    trackBar_.Thumb()->setAccessibleName(ViewResources::Tr(u"quality"));
    trackBar_.SetThickness(res_.D(6));
    trackBar_.SetColours(res_.Colour("color:quality:trackbar:thumb", QColor()),
                         res_.Colour("color:quality:trackbar:channel:highlight", QColor()));
    trackBar_.SetCallback([this](int value) {
        quality_ = value;
        ShowQuality(value);
        upDown_->SetPosition(value);
    });

    auto button = [&](int id, const QString& text, const char* font) {
        auto* b = new VoSwitchButton();  // a child of the window from CreateButton on
        b->SetDpiScale(res_.DpiScale());
        b->CreateButton(window_, &res_.Font(font), id);
        b->SetHMargin(res_.D(12));
        b->SetVMargin(res_.D(6));
        b->SetRoundRect(true);
        b->SetRoundRectPoint(res_.D(4), res_.D(4));
        b->Init(text, normal, Qt::white, pressed, Qt::white);
        return b;
    };
    browse_ = button(kBrowse, QStringLiteral("..."), "font:gdiplus:16:normal");
    browse_->setAccessibleName(ViewResources::Tr(u"select-dir"));
    folderBox_ = new VoEdit();  // a child of the window from Create on
    folderBox_->Create(window_, QRect(), Q(outputFolder_), VoEdit::kSingleLine | VoEdit::kReadOnly, kFolderBox);
    folderBox_->SetFont(&res_.Font("font:17:normal"));
    folderBox_->SetAccessibleName(ViewResources::Tr(u"output-folder"));
    folderBox_->LineEdit()->setPalette(palette);
    openFolder_ = button(kOpenFolder, ViewResources::Tr(u"open-folder"), "font:gdiplus:16:normal");
    convert_ = button(kConvert, ViewResources::Tr(u"convert"), "font:gdiplus:17:bold");
    // The one button that does the work: filled, white text.
    convert_->Init(ViewResources::Tr(u"convert"), Qt::white, normal, Qt::white, pressed);
    convert_->SetColorBorder(normal);
    convert_->setDefault(false);
    convert_->setToolTip(ViewResources::Tr(u"convert-tooltip"));
    ShowQuality(100);
    trackBar_.SetValue(100);
}

void VoContentPresenter::SetVisible(bool visible) {
    visible_ = visible;
    for (QWidget* w : std::initializer_list<QWidget*>{addFile_, addFolder_, delete_, searchBox_, searchButton_, list_, format_,
                                                      browse_, folderBox_, openFolder_, convert_}) {
        if (w) w->setVisible(visible);
    }
    const bool jpeg = visible && outputFormat_ == 0;
    for (QWidget* w : std::initializer_list<QWidget*>{keepExif_, qualityBox_, upDown_, hint_}) {
        if (w) w->setVisible(jpeg);
    }
    trackBar_.SetVisible(jpeg);
}

// ---- layout and painting ----

QRect VoContentPresenter::Text(const QString& text, const char* font, int x, int y, int width) const {
    const QFontMetrics metrics(res_.Font(font));
    if (width > 0) return metrics.boundingRect(QRect(x, y, width, kUnboundedHeight), Qt::TextWordWrap, text);
    return QRect(QPoint(x, y), metrics.size(Qt::TextSingleLine, text));
}

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
    searchBox_->setGeometry(searchButton_->x() - d(120) - d(2), d(4), d(120), d(21));
    int scrollBar = list_->verticalScrollBar()->isVisible() ? list_->verticalScrollBar()->width() : 0;
    if (scrollBar < 0 || scrollBar > d(20)) scrollBar = 0;
    const int usable = listRect_.width() - scrollBar;
    // The size column is a little wider than the name gives up: "1009.22 KB" fits.
    const int shares[] = {12, 28, 16, 20, 24};
    for (int c = 0; c < 5; ++c) list_->SetColumnWidth(c, usable * shares[c] / 100);
    rowsPerPage_ = std::max(1, (listRect_.height() - d(32)) / std::max(1, rowHeight_));

    // Output panel.
    const int pl = listRect_.right() + 1 + d(4);
    const int pr = width - d(4);
    panel_ = QRect(QPoint(pl, 0), QPoint(pr - 1, listRect_.bottom()));
    const int il = pl + d(12);
    const QString colon = QStringLiteral(":");
    formatLabel_ = Text(ViewResources::Tr(u"output-format") + colon, "font:gdiplus:16:normal", il, d(24));
    const int comboLeft = formatLabel_.right() + 1 + d(12);
    const int comboWidth = (pr - pl) - formatLabel_.width() - 3 * d(12);
    format_->setGeometry(comboLeft, formatLabel_.center().y() - d(32) / 2, comboWidth, d(32));
    int below = formatLabel_.bottom() + 1;
    if (outputFormat_ == 0) {
        exifLabel_ = Text(ViewResources::Tr(u"keep-exif-data"), "font:gdiplus:16:normal", il, below + d(24));
        keepExif_->move(comboLeft + comboWidth - keepExif_->width(), exifLabel_.center().y() - keepExif_->height() / 2);
        exifText_ = Text(ViewResources::Tr(u"exif-description"), "font:gdiplus:16:normal", il, exifLabel_.bottom() + 1 + d(16),
                         pr - pl - d(24));
        qualityLabel_ = Text(ViewResources::Tr(u"quality") + colon, "font:gdiplus:16:normal", il, exifText_.bottom() + 1 + d(24));
        const int upLeft = pr - d(12) - d(12) - d(22);
        const int upTop = qualityLabel_.center().y() - d(26) / 2;
        upDown_->setGeometry(upLeft, upTop, d(22), d(26));
        hint_->move(upLeft + d(22) + d(2), upTop);
        const int boxHeight = QFontMetrics(res_.Font("font:16:normal")).height() + d(4);
        qualityBox_->setGeometry(upLeft - d(88), upTop + (d(26) - boxHeight) / 2, d(86), boxHeight);
        qualityBorder_ = QRect(upLeft - d(90), upTop, d(90), d(26) - d(1));
        const int trackTop = qualityLabel_.bottom() + 1 + d(20);
        trackBar_.SetRect(QRect(il, trackTop, pr - pl - d(24), d(14)));
        trackBar_.SetValue(quality_);
        below = trackTop + d(14);
    }
    folderLabel_ = Text(ViewResources::Tr(u"output-folder") + colon, "font:gdiplus:16:normal", il, below + d(24));
    browse_->move(pr - d(12) - browse_->width(), folderLabel_.bottom() + 1 + d(10));
    const int folderHeight = QFontMetrics(res_.Font("font:17:normal")).height() + d(4);
    folderBox_->setGeometry(il, browse_->y() + (browse_->height() - folderHeight) / 2, browse_->x() - d(2) - il, folderHeight);
    folderBorder_ = QRect(QPoint(il - d(2), browse_->y() + d(2)), QPoint(browse_->x() - 1, browse_->geometry().bottom() - d(2)));
    openFolder_->move(il, folderBorder_.bottom() + 1 + d(12));
    convert_->setGeometry(il, listRect_.bottom() + 1 - d(12) - convert_->height(), pr - d(12) - il, convert_->height());

    status_ = QRect(0, height - d(32), width, d(32));
    if (window_) window_->update();
}

QPen VoContentPresenter::BorderPen(const VoEdit* box) const {
    // The focused box's border in the accent colour, as wide as a scaled pixel.
    if (box && box->LineEdit() && box->LineEdit()->hasFocus()) {
        return QPen(res_.Colour("color:default:button:normal", QColor(0x2F, 0x6F, 0xEB)), std::max(1, res_.D(1)));
    }
    return QPen(kBorder);
}

void VoContentPresenter::Paint(QPainter& painter) const {
    if (!visible_) return;
    auto d = [this](double n) { return res_.D(n); };
    painter.fillRect(panel_, kPanel);
    painter.setPen(kBorder);
    painter.drawLine(0, d(4) + d(32) - 1, width_, d(4) + d(32) - 1);
    painter.drawRect(listRect_.adjusted(-1, -1, 0, 0));
    painter.drawLine(panel_.left(), 0, panel_.left(), panel_.bottom());
    painter.drawLine(0, status_.top(), width_, status_.top());

    auto text = [&](const QString& s, const QRect& r, const QColor& c, bool wrap = false) {
        painter.setFont(res_.Font("font:gdiplus:16:normal"));
        painter.setPen(c);
        painter.drawText(r, (wrap ? Qt::TextWordWrap : Qt::TextSingleLine) | Qt::AlignLeft | Qt::AlignTop, s);
    };
    const QString colon = QStringLiteral(":");
    text(ViewResources::Tr(u"output-format") + colon, formatLabel_, Qt::black);
    if (outputFormat_ == 0) {
        text(ViewResources::Tr(u"keep-exif-data"), exifLabel_, Qt::black);
        text(ViewResources::Tr(u"exif-description"), exifText_, QColor(0x9F, 0x9F, 0x9F), true);
        text(ViewResources::Tr(u"quality") + colon, qualityLabel_, Qt::black);
        painter.setPen(BorderPen(qualityBox_));
        painter.setBrush(kPanel);
        painter.drawRect(qualityBorder_);
        trackBar_.Draw(painter);
    }
    text(ViewResources::Tr(u"output-folder") + colon, folderLabel_, Qt::black);
    painter.setPen(BorderPen(folderBox_));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(folderBorder_);

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
    if (finishing_) {
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
    case kBrowse:
        ChooseOutputFolder();
        return true;
    case kOpenFolder:
        if (!outputFolder_.empty()) BASUtilityApp::OpenFolder(outputFolder_);
        return true;
    case kQualityBox:
        QualityEntered();
        return true;
    case kKeepExif:
        keepExifOn_ = !keepExifOn_;
        keepExif_->SetNormalImage(res_.Image(keepExifOn_ ? "right/on.png" : "right/off.png"));
        keepExif_->SetPressedImage(res_.Image(keepExifOn_ ? "right/on.png" : "right/off.png"));
        return true;
    default:
        return false;
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

void VoContentPresenter::SetFormat(int format) {
    if (format < 0) return;
    outputFormat_ = format;
    SetVisible(visible_);
    Layout(width_, height_);
}

void VoContentPresenter::ChooseOutputFolder() {
    std::u16string chosen;
    if (!chooser_ || !chooser_->ChooseFolder(TranslateConverter(u"select-dir"), chosen) || chosen.empty()) return;
    SetOutputFolder(chosen);
}

void VoContentPresenter::SetChooser(PhotoChooser* chooser) {
    chooser_ = chooser;
    model_->SetChooser(chooser);
}

void VoContentPresenter::SetOutputFolder(const std::u16string& folder) {
    outputFolder_ = folder;
    if (folderBox_) folderBox_->SetText(Q(folder));
    if (BASUserDefaults* standard = BASUserDefaults::StandardUserDefaults()) {
        standard->SetString(kFolderKey, BASUtilityString::Utf16ToUtf8(folder).c_str());
    }
}

void VoContentPresenter::ShowQuality(int value) {
    if (qualityBox_) qualityBox_->SetText(QString::number(value) + QLatin1Char('%'));
}

int VoContentPresenter::ReadQualityBox() {
    QString text = qualityBox_ ? qualityBox_->Text().left(15).trimmed() : QString();
    if (text.endsWith(QLatin1Char('%'))) text.chop(1);
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    // What the user typed is kept in range: a quality is a percentage.
    return ok ? std::clamp(value, 0, 100) : 0;
}

void VoContentPresenter::QualityEntered() {
    const int value = ReadQualityBox();
    ShowQuality(value);
    quality_ = value;
    trackBar_.SetValue(value);
    upDown_->SetPosition(value);  // the next arrow step starts from here
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
    // The rows on screen first. Photos are dealt to the streams by a hash of
    // their path: a folder's slow photos (those without a preview) follow
    // no pattern of the streams' own, so the streams end close together.
    const std::vector<std::string> ordered = VisibleFirst(paths);
    const size_t streams = std::min(thumbnailWorks_.size(), ordered.size());
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
    thumbnailsRequested_ += static_cast<int>(ordered.size());
    for (size_t stream = 0; stream < streams; ++stream) {
        std::vector<std::string> share;
        for (const std::string& path : ordered) {
            if (std::hash<std::string>()(path) % streams == stream) share.push_back(path);
        }
        if (share.empty()) continue;
        ++pendingThumbnailEnds_;
        thumbnailWorks_[stream]->QueryThumbnails(callback, ThumbnailRequest(share));
    }
}

std::string VoContentPresenter::ThumbnailRequest(const std::vector<std::string>& paths) {
    // Thumbnails fill a row in device pixels: rowHeight layout pixels, each
    // as many device pixels as Qt's ratio for the window's screen.
    thumbnailRatio_ = window_ ? window_->devicePixelRatioF() : 1.0;
    rapidjson::Document request(rapidjson::kObjectType);
    auto& a = request.GetAllocator();
    rapidjson::Value array(rapidjson::kArrayType);
    for (const std::string& path : paths) array.PushBack(rapidjson::Value(path.c_str(), a), a);
    request.AddMember("heic_array", array, a);
    request.AddMember("image_size", static_cast<int>(rowHeight_ * thumbnailRatio_), a);
    return ToText(request);
}

void VoContentPresenter::FolderLoadBegins() {
    if (notify_) notify_(LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_BEGIN);
}

void VoContentPresenter::ShownListEmptied() { SetVisibleRange(0, 0); }

void VoContentPresenter::SetVisibleRange(int first, int last) {
    visibleFirst_ = first;
    visibleLast_ = last;
    LOG(INFO) << "start: " << first << " end: " << last;
}

void VoContentPresenter::ThumbnailArrived(std::shared_ptr<QImage> image, const std::u16string& path, int32_t kind,
                                          int32_t width, int32_t height, int32_t index, int32_t total) {
    if (kind == 1 || kind == 6) {
        // The loading dialog goes when the last stream has ended.
        if (--pendingThumbnailEnds_ > 0) return;
        pendingThumbnailEnds_ = 0;
        thumbnailsArrived_ = 0;
        thumbnailsRequested_ = 0;
        if (notify_) notify_(LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_END);
        return;
    }
    if (kind != 2) return;
    ++thumbnailsArrived_;
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
    update.total = std::max(total, thumbnailsRequested_);
    update.current = std::max(index, thumbnailsArrived_);
    res_.Bus().Post(update);
}

// ---- conversion ----

std::string VoContentPresenter::BuildRequest() const {
    const std::vector<std::string> paths = model_->CheckedShownPaths();
    if (paths.empty()) return std::string();
    rapidjson::Document request(rapidjson::kObjectType);
    auto& a = request.GetAllocator();
    if (outputFormat_ == 0) {
        request.AddMember("keep_exif_data", keepExifOn_ ? 1 : 0, a);
        request.AddMember("quality", quality_, a);
    }
    rapidjson::Value array(rapidjson::kArrayType);
    for (const std::string& path : paths) array.PushBack(rapidjson::Value(path.c_str(), a), a);
    request.AddMember("heic_array", array, a);
    std::string folder = BASUtilityString::Utf16ToUtf8(outputFolder_);
    // The folder travels as a folder: with its separator.
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    request.AddMember("output_dir", rapidjson::Value(folder.c_str(), a), a);
    request.AddMember("format", outputFormat_, a);
    request.AddMember("device_id", rapidjson::Value(kDeviceId, a), a);
    request.AddMember("desc", rapidjson::Value(ViewResources::Tr(u"converting-heic-files").toUtf8().constData(), a), a);
    request.AddMember("title", rapidjson::Value(ViewResources::Tr(u"notice").toUtf8().constData(), a), a);
    request.AddMember("auto_close_when_finish", 0, a);
    request.AddMember("show_current_total_number", 1, a);
    return ToText(request);
}

bool VoContentPresenter::Busy() const { return converting_; }

bool VoContentPresenter::Convert() {
    // One job at a time: the progress notifications carry no job, so a new
    // one starts only after the previous request has ended.
    if (converting_) return false;
    if (model_->CheckedShownPaths().empty()) {
        if (asker_) asker_->Alert(TranslateConverter(u"nothing-check-warning"), res_.D(300));
        return false;
    }
    if (outputFolder_.empty() || !BASUtilityFile::IsFileExist(outputFolder_)) {
        if (asker_) asker_->Alert(TranslateConverter(u"please-select-output-folder"), res_.D(400));
        return false;
    }
    quality_ = ReadQualityBox();
    const std::string text = BuildRequest();
    rapidjson::Document request;
    request.Parse(text.c_str());

    ProgressStartBlock block{&DialogEnd, window_, this, const_cast<QImage*>(res_.Image("converting.png"))};
    ModuleCommand start = MakeCommand(LIBPLATFORM_COMMAND_START_PROGRESS);
    start.data = &request;
    start.result = &block;
    res_.Bus().Post(start);

    converting_ = true;
    std::weak_ptr<VoContentPresenter*> alive = alive_;
    const ModuleBus bus = res_.Bus();
    QImage* complete = const_cast<QImage*>(res_.Image("complete.png"));
    work_->ConvertPhotos(
        [alive, bus, complete](const std::u16string&, int32_t, int32_t kind) {
            if (kind != 1) return;
            ModuleCommand logo = MakeCommand(LIBPLATFORM_COMMAND_CHANGE_PROGRESS_LOGO);
            logo.data = complete;
            bus.Post(logo);
            DispatchQueue::DispatchGetMainQueue()->DispatchAsync([alive] {
                auto self = alive.lock();
                if (self && *self) (*self)->ConversionReplied(1);
            });
        },
        text);
    return true;
}

void VoContentPresenter::ConversionReplied(int32_t kind) {
    if (kind != 1) return;
    converting_ = false;
    if (finishing_) {
        drainTimer_->stop();
        SetFinishing(false);
    }
}

void VoContentPresenter::StopWork() {
    for (auto& thumbnails : thumbnailWorks_) thumbnails->Stop();
    StopConversion();
}

void VoContentPresenter::StopConversion() {
    work_->Stop();
    // The photo module finishes the files it has begun and ends; its end
    // reply no longer reaches us (our task is gone), so the job is over once
    // the module's event has ended. Until then no new conversion starts, and
    // the user sees why "convert" waits.
    if (!converting_) return;
    SetFinishing(true);
    drainTimer_->start(100);
}

void VoContentPresenter::CheckDrained() {
    const std::string remote = work_->RemoteTaskId();
    if (!remote.empty() && VoTaskSchedular::Get()->FindTask(remote)) return;
    drainTimer_->stop();
    converting_ = false;
    SetFinishing(false);
}

void VoContentPresenter::SetFinishing(bool finishing) {
    finishing_ = finishing;
    if (convert_) convert_->setEnabled(!finishing);
    if (window_) window_->update(status_);
}
