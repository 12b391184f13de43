// VoListView: a virtual list with a check-box column (and a check box in its
// header), a thumbnail in that column and text columns. It holds only a row
// count: texts, check states and thumbnails are asked for when a row is
// drawn, so ten thousand rows cost nothing until they are seen. Built on
// Qt's model/view, which gives scrolling, keyboard selection and screen
// reader texts. From the keyboard: the arrows move the current row (outlined
// while the list has the focus), Space ticks it, Delete asks the owner to
// remove the ticked rows, and Tab leaves the list for the next control.
#ifndef CANVAS_VO_LIST_VIEW_H
#define CANVAS_VO_LIST_VIEW_H

#include "canvas_export.h"

#include <QTableView>

#include <functional>
#include <memory>
#include <vector>

class VoListModel;
class VoCheckHeader;

class CANVAS_EXPORT VoListView : public QTableView {
public:
    using PhotoGetFunc = std::function<const QImage*(int row)>;
    using CheckGetFunc = std::function<bool(int row)>;
    using CheckSetFunc = std::function<void(int row, bool checked)>;
    using ScopeFunc = std::function<void(int first, int last)>;
    // The text of a cell (the parent's display-information answer).
    using TextFunc = std::function<QString(int row, int column)>;

    VoListView();
    ~VoListView() override;

    void CreateListView(QWidget* parent, int id);
    void SetDpiScale(float scale);
    void SetItemHeight(int heightPx);
    void SetItemCount(int count);
    int ItemCount() const;
    // Column 0 holds the row number, the check box and the thumbnail.
    void InsertColumn(int column, const QString& header, int widthPx);
    void SetColumnWidth(int column, int widthPx) { setColumnWidth(column, widthPx); }
    // Images are not owned.
    void SetCheckBoxImage(const QImage* checked, const QImage* unchecked, const QImage* headerUnchecked);
    void SetDefaultPhoto(const QImage* image);
    void SetHeaderCheck(bool checked);
    // What screen readers and the tooltip call the header's check box.
    void SetHeaderCheckName(const QString& name);
    const QString& HeaderCheckName() const { return headerCheckName_; }
    bool GetHeaderChecked() const { return headerChecked_; }
    void RefreshHeaderCheck();
    // Redraws the cells of columns first..last in `row` if it is on screen.
    void RefreshRangeCell(int firstColumn, int lastColumn, int row);
    int Id() const { return id_; }

    void SetPhotoGetFunc(PhotoGetFunc func) { photo_ = std::move(func); }
    void SetFuncGetCheckState(CheckGetFunc func) { getCheck_ = std::move(func); }
    void SetFuncSetCheckState(CheckSetFunc func) { setCheck_ = std::move(func); }
    void SetScrollItemScopeFuncCallback(ScopeFunc func) { scope_ = std::move(func); }
    void SetTextFunc(TextFunc func) { text_ = std::move(func); }
    // Delete pressed while the list has the focus.
    void SetDeleteKeyFunc(std::function<void()> func) { deleteKey_ = std::move(func); }

    // Ticks or clears one row, as a click on its box does.
    void ToggleRow(int row);
    // The header box: ticks or clears every row whose box differs.
    void SetAllRows(bool checked);
    // The rows on screen now (first, last); (0, -1) when none.
    std::pair<int, int> VisibleRange() const;
    // Where row `row`'s check box is drawn, in the viewport's coordinates.
    QRect CheckBoxRect(int row) const;

    // For the model adapter and the painter.
    QString CellText(int row, int column) const;
    bool RowChecked(int row) const;
    const QImage* RowPhoto(int row) const;
    const QImage* CheckImage(bool checked) const;
    const QImage* HeaderImage() const;
    float DpiScale() const { return dpiScale_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ReportScope();

    int id_ = 0;
    float dpiScale_ = 1.0f;
    bool headerChecked_ = true;
    QString headerCheckName_;
    const QImage* checked_ = nullptr;
    const QImage* unchecked_ = nullptr;
    const QImage* headerUnchecked_ = nullptr;
    const QImage* defaultPhoto_ = nullptr;
    PhotoGetFunc photo_;
    CheckGetFunc getCheck_;
    CheckSetFunc setCheck_;
    ScopeFunc scope_;
    TextFunc text_;
    std::function<void()> deleteKey_;
    std::pair<int, int> lastScope_{-2, -2};
    std::unique_ptr<VoListModel> model_;
    VoCheckHeader* header_ = nullptr;  // owned by the view (Qt parent)
};

#endif  // CANVAS_VO_LIST_VIEW_H
