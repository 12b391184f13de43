// What screen readers (AT-SPI on Linux) learn of controls that the windows
// draw themselves: a role other than the widget class gives, a value for a
// painted bar, and news that the user should hear.
#ifndef CANVAS_ACCESSIBILITY_H
#define CANVAS_ACCESSIBILITY_H

#include "canvas_export.h"

#include <QAccessible>
#include <QWidget>

#include <functional>

namespace Accessibility {

// Screen readers see `widget` with `role` instead of its class's (an alert
// dialog as an alert). Before the widget is first shown.
CANVAS_EXPORT void SetRole(QWidget* widget, QAccessible::Role role);

// Tells screen readers that `widget` has news for the user: an alert has
// appeared, a job has ended. Its name and description are what is read.
CANVAS_EXPORT void Announce(QWidget* widget);

}  // namespace Accessibility

// A widget that screen readers see as a bar with a value: a slider the user
// can set, or a progress bar. Subclass it to draw a control, or lay it, drawing
// nothing, over a control that its parent paints.
class CANVAS_EXPORT VoAccessibleValue : public QWidget {
public:
    using Setter = std::function<void(int value)>;

    VoAccessibleValue(QWidget* parent, QAccessible::Role role);
    ~VoAccessibleValue() override;

    QAccessible::Role Role() const { return role_; }
    void SetRange(int minimum, int maximum);
    // Tells screen readers when the value changes.
    void SetAccessibleValue(int value);
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    int Value() const { return value_; }
    // What a screen reader's "set value" does (a slider); none for a bar
    // that only shows progress.
    void SetSetter(Setter setter) { setter_ = std::move(setter); }
    // A value a screen reader asks for, kept within the range.
    void SetFromAssistiveTechnology(int value);
    bool Settable() const { return static_cast<bool>(setter_); }
    // Shown after the number ("%" for a percentage).
    void SetSuffix(const QString& suffix) { suffix_ = suffix; }
    QString ValueText() const { return QString::number(value_) + suffix_; }

private:
    QAccessible::Role role_;
    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
    QString suffix_;
    Setter setter_;
};

#endif  // CANVAS_ACCESSIBILITY_H
