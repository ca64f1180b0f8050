#include "platform/qt/qt_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPushButton>

#include "platform/qt/qt_style.h"

namespace pelmora::qt {

namespace {

using core::AccessibleRole;

// Kept on the widget as a child object: it goes with the widget.
class Told final : public QObject {
  public:
    Told(QWidget& widget, core::Accessible told) : QObject(&widget), told(std::move(told)) {}
    core::Accessible told;
};

Told* toldOf(const QObject* object) {
    if (object != nullptr) {
        for (QObject* child : object->children()) {
            if (auto* told = dynamic_cast<Told*>(child)) {
                return told;
            }
        }
    }
    return nullptr;
}

QAccessible::Role roleOf(AccessibleRole role) {
    switch (role) {
        case AccessibleRole::Window:
            return QAccessible::Window;
        case AccessibleRole::Dialog:
            return QAccessible::Dialog;
        case AccessibleRole::StaticText:
            return QAccessible::StaticText;
        case AccessibleRole::Pane:
            return QAccessible::Pane;
        case AccessibleRole::Meter:
            return QAccessible::ProgressBar;
        case AccessibleRole::Image:
            return QAccessible::Graphic;
        case AccessibleRole::PushButton:
            return QAccessible::Button;
        case AccessibleRole::None:
            break;
    }
    return QAccessible::NoRole;
}

// A widget as the core describes it. Its children are the widgets the core tells of, so that
// lines and shadows stay out of the tree.
class ToldWidget final : public QAccessibleWidget,
                         public QAccessibleValueInterface,
                         public QAccessibleTextInterface {
  public:
    ToldWidget(QWidget* widget, const Told& told)
        : QAccessibleWidget(widget, roleOf(told.told.role)), told_(told) {}

    QString text(QAccessible::Text t) const override {
        const core::Accessible& a = told_.told;
        switch (t) {
            case QAccessible::Name:
                return toQString(a.name);
            case QAccessible::Description:
                return toQString(a.description);
            case QAccessible::Value:
                return toQString(a.valueText);
            default:
                return QAccessibleWidget::text(t);
        }
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface && told_.told.role == AccessibleRole::Meter) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        // Static text reads as text too: its changes are announced as text changes.
        if (type == QAccessible::TextInterface && told_.told.role == AccessibleRole::StaticText) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    int childCount() const override { return static_cast<int>(told().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> children = told();
        return index >= 0 && index < children.size()
                   ? QAccessible::queryAccessibleInterface(children[index])
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child == nullptr ? -1 : static_cast<int>(told().indexOf(child->object()));
    }

    QVariant currentValue() const override { return told_.told.value.value_or(0.0); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100.0; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 0.0; }

    // Read-only text without a caret or a selection.
    QString text(int start, int end) const override {
        return text(QAccessible::Name).mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(text(QAccessible::Name).size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

  private:
    QList<QWidget*> told() const {
        QList<QWidget*> children;
        for (QObject* object : widget()->children()) {
            auto* child = qobject_cast<QWidget*>(object);
            const Told* t = toldOf(child);
            if (child != nullptr && !child->isWindow() && t != nullptr &&
                t->told.role != AccessibleRole::None) {
                children.push_back(child);
            }
        }
        return children;
    }

    const Told& told_;
};

QAccessibleInterface* makeInterface(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    const Told* told = toldOf(object);
    // Buttons are Qt's own, which reads the same role, name and default state.
    if (widget == nullptr || told == nullptr || qobject_cast<QPushButton*>(widget) != nullptr) {
        return nullptr;
    }
    return new ToldWidget(widget, *told);
}

}  // namespace

void describe(QWidget& widget, const core::Accessible& told) {
    static const bool installed = [] {
        QAccessible::installFactory(&makeInterface);
        return true;
    }();
    (void)installed;
    if (Told* kept = toldOf(&widget)) {
        kept->told = told;
    } else {
        new Told(widget, told);
    }
}

void announce(QWidget& widget, const core::Accessible& told) {
    const Told* kept = toldOf(&widget);
    const core::Accessible before = kept != nullptr ? kept->told : core::Accessible{};
    describe(widget, told);
    if (!QAccessible::isActive()) {
        return;
    }
    if (told.name != before.name) {
        QAccessibleEvent named(&widget, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&named);
        if (told.role == AccessibleRole::StaticText) {
            QAccessibleTextUpdateEvent text(&widget, 0, toQString(before.name),
                                            toQString(told.name));
            QAccessible::updateAccessibility(&text);
        }
    }
    if (told.description != before.description) {
        QAccessibleEvent described(&widget, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&described);
    }
    if (told.value != before.value) {
        QAccessibleValueChangeEvent valued(&widget, told.value.value_or(0.0));
        QAccessible::updateAccessibility(&valued);
    }
}

}  // namespace pelmora::qt
