#include "canvas/accessibility.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

#include <algorithm>
#include <mutex>

namespace {

// The dynamic property that carries a role given by SetRole.
constexpr const char* kRoleProperty = "pixbridge-accessible-role";

class ValueInterface : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ValueInterface(VoAccessibleValue* widget) : QAccessibleWidget(widget, widget->Role()) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Value) return Bar()->ValueText();
        return QAccessibleWidget::text(type);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = !Bar()->Settable();
        return state;
    }

    QVariant currentValue() const override { return Bar()->Value(); }
    void setCurrentValue(const QVariant& value) override { Bar()->SetFromAssistiveTechnology(qRound(value.toDouble())); }
    QVariant maximumValue() const override { return Bar()->Maximum(); }
    QVariant minimumValue() const override { return Bar()->Minimum(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    VoAccessibleValue* Bar() const { return static_cast<VoAccessibleValue*>(widget()); }
};

// Asked before Qt's own widget interfaces (later factories come first).
QAccessibleInterface* Factory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    if (auto* bar = dynamic_cast<VoAccessibleValue*>(widget)) return new ValueInterface(bar);
    const QVariant role = widget->property(kRoleProperty);
    if (role.isValid()) return new QAccessibleWidget(widget, static_cast<QAccessible::Role>(role.toInt()));
    return nullptr;
}

void InstallFactory() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(&Factory); });
}

}  // namespace

namespace Accessibility {

void SetRole(QWidget* widget, QAccessible::Role role) {
    if (!widget) return;
    InstallFactory();
    widget->setProperty(kRoleProperty, static_cast<int>(role));
}

void Announce(QWidget* widget) {
    if (!widget) return;
    // Alert is what the platforms' screen readers announce; AT-SPI has no
    // such event, and its readers speak a changed description instead.
    QAccessibleEvent alert(widget, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    QAccessibleEvent described(widget, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&described);
}

}  // namespace Accessibility

VoAccessibleValue::VoAccessibleValue(QWidget* parent, QAccessible::Role role) : QWidget(parent), role_(role) {
    InstallFactory();
}

VoAccessibleValue::~VoAccessibleValue() = default;

void VoAccessibleValue::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    SetAccessibleValue(value_);
}

void VoAccessibleValue::SetAccessibleValue(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_) return;
    value_ = value;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, value_);
        QAccessible::updateAccessibility(&event);
    }
}

void VoAccessibleValue::SetFromAssistiveTechnology(int value) {
    if (!setter_) return;
    setter_(std::clamp(value, minimum_, maximum_));
}
