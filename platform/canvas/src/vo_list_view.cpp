#include "canvas/vo_list_view.h"

#include "canvas/pictures.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cmath>

// The adapter: Qt's view asks it, it asks the list view's callbacks. It
// keeps no rows of its own, only their number.
class VoListModel : public QAbstractTableModel {
public:
    explicit VoListModel(VoListView& view) : view_(view) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : count_; }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(headers_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= count_) return QVariant();
        const int row = index.row();
        const int column = index.column();
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            if (column == 0) {
                // A screen reader hears the number, the state and the name.
                const QString number = QString::number(row + 1);
                return role == Qt::DisplayRole ? number : number + QLatin1Char(' ') + view_.CellText(row, 1);
            }
            return view_.CellText(row, column);
        case Qt::CheckStateRole:
            return column == 0 ? QVariant(view_.RowChecked(row) ? Qt::Checked : Qt::Unchecked) : QVariant();
        case Qt::DecorationRole:
            if (column == 0) {
                const QImage* image = view_.RowPhoto(row);
                return image ? QVariant(*image) : QVariant();
            }
            return QVariant();
        default:
            return QVariant();
        }
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0) return false;
        const bool checked = value.toInt() == Qt::Checked;
        if (checked != view_.RowChecked(index.row())) view_.ToggleRow(index.row());
        return true;
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
        return f;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(headers_.size())) return QVariant();
        // The first section is the box that ticks every row: it draws no
        // text, but screen readers and the tooltip name it.
        if (section == 0 && (role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)) return view_.HeaderCheckName();
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return headers_[section];
        return QVariant();
    }

    void SetCount(int count) {
        beginResetModel();
        count_ = std::max(0, count);
        endResetModel();
    }
    void InsertColumn(int column, const QString& header) {
        column = std::clamp(column, 0, static_cast<int>(headers_.size()));
        beginInsertColumns(QModelIndex(), column, column);
        headers_.insert(headers_.begin() + column, header);
        endInsertColumns();
    }
    void CellsChanged(int row, int first, int last) { emit dataChanged(index(row, first), index(row, last)); }
    void HeaderChanged(int section) {
        if (section < static_cast<int>(headers_.size())) emit headerDataChanged(Qt::Horizontal, section, section);
    }

private:
    VoListView& view_;
    int count_ = 0;
    std::vector<QString> headers_;
};

// The header with a check box in the first section.
class VoCheckHeader : public QHeaderView {
public:
    explicit VoCheckHeader(VoListView& view) : QHeaderView(Qt::Horizontal, &view), view_(view) {
        setSectionsClickable(true);
        setHighlightSections(false);
        setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        painter->save();
        painter->fillRect(rect, QColor(0xF9, 0xF9, 0xF9));
        painter->setPen(QColor(0xDC, 0xDC, 0xDC));
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
        if (logicalIndex > 0) painter->drawLine(rect.topLeft() + QPoint(0, 6), rect.bottomLeft() - QPoint(0, 6));
        painter->restore();
        if (logicalIndex == 0) {
            if (const QImage* image = view_.HeaderImage()) {
                const int side = static_cast<int>(Utils::PictureSize(image).width() * view_.DpiScale());
                painter->drawImage(QRect(rect.left() + static_cast<int>(8 * view_.DpiScale()),
                                         rect.top() + (rect.height() - side) / 2, side, side),
                                   *image);
            }
            return;
        }
        painter->save();
        painter->setPen(QColor(0x33, 0x33, 0x33));
        painter->drawText(rect.adjusted(static_cast<int>(8 * view_.DpiScale()), 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          model()->headerData(logicalIndex, Qt::Horizontal).toString());
        painter->restore();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && logicalIndexAt(event->position().toPoint()) == 0) {
            view_.SetAllRows(!view_.GetHeaderChecked());
            return;
        }
        QHeaderView::mousePressEvent(event);
    }

private:
    VoListView& view_;
};

namespace {

// Column 0: the row number, the check box and the thumbnail (or the
// default photo until it arrives).
class FirstColumnDelegate : public QStyledItemDelegate {
public:
    explicit FirstColumnDelegate(VoListView& view) : QStyledItemDelegate(&view), view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->fillRect(option.rect, selected ? QColor(0xE6, 0xEE, 0xFD) : QColor(Qt::white));
        painter->setPen(QColor(0xEE, 0xEE, 0xEE));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
        if (index.column() != 0) {
            QStyleOptionViewItem plain(option);
            plain.state &= ~QStyle::State_HasFocus;
            plain.backgroundBrush = Qt::NoBrush;
            plain.palette.setColor(QPalette::Highlight, QColor(0xE6, 0xEE, 0xFD));
            plain.palette.setColor(QPalette::HighlightedText, QColor(0x22, 0x22, 0x22));
            plain.palette.setColor(QPalette::Text, QColor(0x33, 0x33, 0x33));
            plain.rect.adjust(static_cast<int>(8 * view_.DpiScale()), 0, 0, 0);
            QStyledItemDelegate::paint(painter, plain, index);
            return;
        }
        const int row = index.row();
        const QRect box = view_.CheckBoxRect(row);
        if (const QImage* check = view_.CheckImage(view_.RowChecked(row))) {
            painter->drawImage(box, *check);
        }
        const int margin = static_cast<int>(4 * view_.DpiScale());
        const QRect slot(box.right() + margin * 2, option.rect.top() + margin, option.rect.right() - box.right() - margin * 3,
                         option.rect.height() - 2 * margin);
        if (const QImage* photo = view_.RowPhoto(row); photo && !photo->isNull() && slot.width() > 0) {
            const QSize fitted = photo->size().scaled(slot.size(), Qt::KeepAspectRatio);
            painter->save();
            painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter->drawImage(QRect(slot.left() + (slot.width() - fitted.width()) / 2,
                                     slot.top() + (slot.height() - fitted.height()) / 2, fitted.width(), fitted.height()),
                               *photo);
            painter->restore();
        }
    }

private:
    VoListView& view_;
};

}  // namespace

VoListView::VoListView() : model_(std::make_unique<VoListModel>(*this)) {
    header_ = new VoCheckHeader(*this);  // owned by this view
    setHorizontalHeader(header_);
    setModel(model_.get());
    setItemDelegate(new FirstColumnDelegate(*this));  // owned by this view
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
    // Tab goes on to the next control; the arrows move between rows.
    setTabKeyNavigation(false);
}

VoListView::~VoListView() {
    setModel(nullptr);
}

void VoListView::CreateListView(QWidget* parent, int id) {
    id_ = id;
    setParent(parent);
    show();
}

void VoListView::SetDpiScale(float scale) { dpiScale_ = scale > 0 ? scale : 1.0f; }

void VoListView::SetItemHeight(int heightPx) {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(std::max(1, heightPx));
}

void VoListView::SetItemCount(int count) {
    model_->SetCount(count);
    ReportScope();
}

int VoListView::ItemCount() const { return model_->rowCount(); }

void VoListView::InsertColumn(int column, const QString& header, int widthPx) {
    model_->InsertColumn(column, header);
    setColumnWidth(column, widthPx);
}

void VoListView::SetCheckBoxImage(const QImage* checked, const QImage* unchecked, const QImage* headerUnchecked) {
    checked_ = checked;
    unchecked_ = unchecked;
    headerUnchecked_ = headerUnchecked;
}

void VoListView::SetDefaultPhoto(const QImage* image) { defaultPhoto_ = image; }

void VoListView::SetHeaderCheck(bool checked) { headerChecked_ = checked; }

void VoListView::SetHeaderCheckName(const QString& name) {
    headerCheckName_ = name;
    model_->HeaderChanged(0);
}

void VoListView::RefreshHeaderCheck() { header_->viewport()->update(); }

void VoListView::RefreshRangeCell(int firstColumn, int lastColumn, int row) {
    if (row < 0 || row >= ItemCount()) return;
    const int columns = model_->columnCount();
    firstColumn = std::clamp(firstColumn, 0, std::max(0, columns - 1));
    lastColumn = std::clamp(lastColumn, firstColumn, std::max(0, columns - 1));
    // Column 0 carries the thumbnail: it is redrawn with the texts.
    model_->CellsChanged(row, 0, lastColumn);
}

QString VoListView::CellText(int row, int column) const { return text_ ? text_(row, column) : QString(); }

bool VoListView::RowChecked(int row) const { return getCheck_ && getCheck_(row); }

const QImage* VoListView::RowPhoto(int row) const {
    const QImage* photo = photo_ ? photo_(row) : nullptr;
    return photo && !photo->isNull() ? photo : defaultPhoto_;
}

const QImage* VoListView::CheckImage(bool checked) const { return checked ? checked_ : unchecked_; }

const QImage* VoListView::HeaderImage() const { return headerChecked_ ? checked_ : headerUnchecked_; }

QRect VoListView::CheckBoxRect(int row) const {
    const int side = checked_ && !checked_->isNull() ? static_cast<int>(Utils::PictureSize(checked_).width() * dpiScale_)
                                                     : static_cast<int>(16 * dpiScale_);
    const QRect cell = visualRect(model_->index(row, 0));
    return QRect(cell.left() + static_cast<int>(8 * dpiScale_), cell.top() + (cell.height() - side) / 2, side, side);
}

void VoListView::ToggleRow(int row) {
    if (row < 0 || row >= ItemCount() || !setCheck_) return;
    setCheck_(row, !RowChecked(row));
    model_->CellsChanged(row, 0, 0);
}

void VoListView::SetAllRows(bool checked) {
    headerChecked_ = checked;
    if (setCheck_) {
        for (int row = 0; row < ItemCount(); ++row) {
            if (RowChecked(row) != checked) setCheck_(row, checked);
        }
    }
    RefreshHeaderCheck();
    viewport()->update();
}

std::pair<int, int> VoListView::VisibleRange() const {
    if (ItemCount() == 0) return {0, -1};
    const int first = std::max(0, rowAt(0));
    int last = rowAt(viewport()->height() - 1);
    if (last < 0) last = ItemCount() - 1;
    return {first, last};
}

void VoListView::ReportScope() {
    const auto range = VisibleRange();
    if (range == lastScope_) return;
    lastScope_ = range;
    if (scope_) scope_(range.first, std::max(range.first, range.second));
}

void VoListView::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    ReportScope();
}

void VoListView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    ReportScope();
}

void VoListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && currentIndex().isValid()) {
        // Space ticks the current row, and every selected row with it.
        const QModelIndexList rows = selectionModel()->selectedRows();
        if (rows.size() > 1) {
            const bool checked = !RowChecked(currentIndex().row());
            for (const QModelIndex& index : rows) {
                if (RowChecked(index.row()) != checked) ToggleRow(index.row());
            }
        } else {
            ToggleRow(currentIndex().row());
        }
        return;
    }
    if (event->key() == Qt::Key_Delete && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (deleteKey_) deleteKey_();
        return;
    }
    QTableView::keyPressEvent(event);
}

void VoListView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (!hasFocus() || !currentIndex().isValid()) return;
    // The keyboard's place: the current row outlined across every column.
    const int row = currentIndex().row();
    const QRect first = visualRect(model_->index(row, 0));
    const QRect last = visualRect(model_->index(row, std::max(0, model_->columnCount() - 1)));
    const QRect outline = first.united(last).intersected(viewport()->rect());
    if (outline.isEmpty()) return;
    QPainter painter(viewport());
    const qreal width = std::max<qreal>(1.0, std::floor(dpiScale_));
    painter.setPen(QPen(QColor(0x2F, 0x6F, 0xEB), width));
    painter.setBrush(Qt::NoBrush);
    const qreal inset = width / 2;
    painter.drawRect(QRectF(outline).adjusted(inset, inset, -inset, -inset));
}

void VoListView::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    viewport()->update();
}

void VoListView::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void VoListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid() && index.column() == 0 &&
            CheckBoxRect(index.row()).adjusted(-4, -4, 4, 4).contains(event->position().toPoint())) {
            ToggleRow(index.row());
            setCurrentIndex(index);
            return;
        }
    }
    QTableView::mousePressEvent(event);
}
