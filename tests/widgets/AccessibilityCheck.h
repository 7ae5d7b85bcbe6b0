#pragma once

// Test support: what assistive technology finds in a window, read in process
// through the toolkit's accessibility interfaces (the same ones its bridge to
// screen readers uses).

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <gtest/gtest.h>

namespace zel::test {

// Roles of what an operator acts on or reads: each needs a name.
inline bool NeedsName(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::ButtonMenu:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::EditableText:
    case QAccessible::Table:
    case QAccessible::ColumnHeader:
    case QAccessible::PageTab:
    case QAccessible::MenuItem:
    case QAccessible::ComboBox:
    case QAccessible::SpinBox:
    case QAccessible::Graphic:
        return true;
    default:
        return false;
    }
}

// Walks the accessible tree under root and lists what a screen reader would
// miss: a visible control without a name, an enabled state that differs from
// the widget's or the menu entry's. Table cells are not walked (only the
// table and its column headers).
inline QStringList AccessibilityProblems(QWidget* root)
{
    QStringList problems;
    std::function<void(QAccessibleInterface*, int)> walk = [&](QAccessibleInterface* iface, int depth) {
        if (!iface || !iface->isValid() || depth > 40) return;
        const QAccessible::Role role = iface->role();
        const QAccessible::State state = iface->state();
        QObject* object = iface->object();
        auto* widget = qobject_cast<QWidget*>(object);
        auto* action = qobject_cast<QAction*>(object);
        // The entries of a menu count while the menu is closed too.
        const bool menu = qobject_cast<QMenu*>(widget) != nullptr;
        const bool shown = action ? action->isVisible() : widget ? widget->isVisible() || menu : !state.invisible;
        const QString what = QStringLiteral("%1 (role %2)")
                                 .arg(object ? object->objectName() : iface->text(QAccessible::Name))
                                 .arg(int(role), 0, 16);
        if (action && action->isSeparator()) return;
        if (shown && NeedsName(role) && iface->text(QAccessible::Name).trimmed().isEmpty())
            problems << what + QStringLiteral(": no name");
        if (widget && bool(state.disabled) == widget->isEnabled())
            problems << what + QStringLiteral(": disabled state %1, widget enabled %2")
                                   .arg(bool(state.disabled))
                                   .arg(widget->isEnabled());
        if (action && bool(state.disabled) == action->isEnabled())
            problems << what + QStringLiteral(": disabled state %1, entry enabled %2")
                                   .arg(bool(state.disabled))
                                   .arg(action->isEnabled());
        if (role == QAccessible::Table) {
            // Its column headers only: a row of cells per record could be long.
            if (QAccessibleTableInterface* table = iface->tableInterface())
                for (int c = 0; c < table->columnCount() && c < iface->childCount(); ++c)
                    walk(iface->child(c), depth + 1);
            return;
        }
        if (!shown && widget) return;
        for (int i = 0; i < iface->childCount(); ++i)
            walk(iface->child(i), depth + 1);
    };
    walk(QAccessible::queryAccessibleInterface(root), 0);
    return problems;
}

// Passes for an empty list; fails listing what it holds.
inline ::testing::AssertionResult None(const QStringList& found)
{
    if (found.isEmpty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << found.join(QStringLiteral("; ")).toStdString();
}

// The accessible name of a widget, as a screen reader reads it.
inline QString AccessibleName(QWidget* w)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

} // namespace zel::test
