#include "canvas/vo_edit.h"

#include "canvas/vo_command.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

VoEdit::VoEdit() = default;
VoEdit::~VoEdit() = default;

void VoEdit::Create(QWidget* parent, const QRect& rect, const QString& text, int styles, int id) {
    id_ = id;
    setParent(parent);
    setGeometry(rect);
    if (styles & kMultiLine) {
        multi_ = new QPlainTextEdit(this);  // a child: owned by this widget
        multi_->setPlainText(text);
        multi_->setVerticalScrollBarPolicy((styles & kVerticalScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
        multi_->setFrameShape((styles & kBorder) ? QFrame::StyledPanel : QFrame::NoFrame);
        QObject::connect(multi_, &QPlainTextEdit::textChanged, this, [this] {
            if (textChanged_) textChanged_(multi_->toPlainText());
        });
        setFocusProxy(multi_);
    } else {
        line_ = new QLineEdit(text, this);  // a child: owned by this widget
        line_->setFrame((styles & kBorder) != 0);
        QObject::connect(line_, &QLineEdit::textEdited, this, [this](const QString& now) {
            if (textChanged_) textChanged_(now);
        });
        QObject::connect(line_, &QLineEdit::returnPressed, this, [this] { Vo::SendCommand(this, id_); });
        setFocusProxy(line_);
    }
    // A tab stop of its own that hands the focus to the box inside, as an
    // editable combo box does: Tab orders may name the wrapper.
    setFocusPolicy(Qt::StrongFocus);
    SetReadOnly((styles & kReadOnly) != 0);
    resizeEvent(nullptr);
    show();
}

void VoEdit::SetFont(const QFont* font) {
    if (!font) return;
    setFont(*font);
    if (line_) line_->setFont(*font);
    if (multi_) multi_->setFont(*font);
}

void VoEdit::setTipValue(const QString& hint) {
    if (line_) line_->setPlaceholderText(hint);
    if (multi_) multi_->setPlaceholderText(hint);
    setAccessibleDescription(hint);
}

void VoEdit::SetAccessibleName(const QString& name) {
    setAccessibleName(name);
    if (line_) line_->setAccessibleName(name);
    if (multi_) multi_->setAccessibleName(name);
}

void VoEdit::SetReadOnly(bool readOnly) {
    if (line_) line_->setReadOnly(readOnly);
    if (multi_) multi_->setReadOnly(readOnly);
}

bool VoEdit::IsReadOnly() const { return line_ ? line_->isReadOnly() : multi_ && multi_->isReadOnly(); }

QString VoEdit::Text() const { return line_ ? line_->text() : multi_ ? multi_->toPlainText() : QString(); }

void VoEdit::SetText(const QString& text) {
    if (line_) line_->setText(text);
    if (multi_) multi_->setPlainText(text);
}

void VoEdit::Append(const QString& text) {
    if (line_) {
        line_->setText(line_->text() + text);
        return;
    }
    if (!multi_) return;
    QTextCursor cursor = multi_->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    multi_->setTextCursor(cursor);
    multi_->ensureCursorVisible();
}

void VoEdit::resizeEvent(QResizeEvent*) {
    if (line_) line_->setGeometry(rect());
    if (multi_) multi_->setGeometry(rect());
}
