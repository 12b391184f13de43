// An edit box: one line (QLineEdit) or several (QPlainTextEdit), with a hint
// shown while it is empty and an optional read-only state. Enter in a
// one-line box reaches the parent as a command with the box's id.
#ifndef CANVAS_VO_EDIT_H
#define CANVAS_VO_EDIT_H

#include "canvas_export.h"

#include <QWidget>

#include <functional>

class QLineEdit;
class QPlainTextEdit;

class CANVAS_EXPORT VoEdit : public QWidget {
public:
    enum Style : int {
        kSingleLine = 0,
        kMultiLine = 1 << 0,
        kReadOnly = 1 << 1,
        kBorder = 1 << 2,
        kVerticalScroll = 1 << 3,  // the scroll bar always shown (several lines)
    };

    VoEdit();
    ~VoEdit() override;

    void Create(QWidget* parent, const QRect& rect, const QString& text, int styles, int id);
    void SetFont(const QFont* font);
    void setTipValue(const QString& hint);
    void SetReadOnly(bool readOnly);
    // The name screen readers give the box: on the editor inside, which is
    // what takes the focus, and on this wrapper.
    void SetAccessibleName(const QString& name);
    bool IsReadOnly() const;

    QString Text() const;
    void SetText(const QString& text);
    // Appends at the end and scrolls it into view (several lines).
    void Append(const QString& text);
    int Id() const { return id_; }
    // Called after every change the user makes.
    void SetTextChanged(std::function<void(const QString&)> callback) { textChanged_ = std::move(callback); }

    QLineEdit* LineEdit() const { return line_; }
    QPlainTextEdit* TextEdit() const { return multi_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int id_ = 0;
    QLineEdit* line_ = nullptr;        // owned by this widget
    QPlainTextEdit* multi_ = nullptr;  // owned by this widget
    std::function<void(const QString&)> textChanged_;
};

#endif  // CANVAS_VO_EDIT_H
