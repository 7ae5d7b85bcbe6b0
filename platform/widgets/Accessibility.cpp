#include "platform/widgets/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QString>
#include <QTabBar>
#include <QTabWidget>
#include <QtGlobal>

#include <map>
#include <mutex>

namespace zel {

namespace {

QtMessageHandler previousHandler = nullptr;

void dropEmptyTableWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QAccessibleTable::cellAt: invalid index"))) return;
    if (previousHandler) previousHandler(type, context, message);
}

// One tab of a page control's tab bar, as assistive technology sees it.
class TabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TabAccessible(QTabBar* bar, int index) : bar_(bar), index_(index) {}

    bool isValid() const override { return bar_ && index_ < bar_->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(bar_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid()) return {};
        if (t == QAccessible::Name) return QString(bar_->tabText(index_)).remove(QLatin1Char('&'));
        if (t == QAccessible::Description) return bar_->tabToolTip(index_);
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.disabled = !bar_->isEnabled() || !bar_->isTabEnabled(index_);
        s.invisible = !bar_->isVisible() || !bar_->isTabVisible(index_);
        s.selectable = !s.disabled;
        s.selected = index_ == bar_->currentIndex();
        s.focusable = !s.disabled;
        s.focused = s.selected && bar_->hasFocus();
        return s;
    }
    QRect rect() const override
    {
        if (!isValid()) return {};
        const QRect r = bar_->tabRect(index_);
        return QRect(bar_->mapToGlobal(r.topLeft()), r.size());
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        // Chosen as a click would: a disabled page cannot be.
        if (name == pressAction() && isValid() && bar_->isTabEnabled(index_)) bar_->setCurrentIndex(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTabBar> bar_;
    int index_;
};

// A page control's tab bar, whose children are its tabs.
class TabBarAccessible : public QAccessibleWidget {
public:
    explicit TabBarAccessible(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~TabBarAccessible() override
    {
        for (const auto& [index, id] : tabs_)
            QAccessible::deleteAccessibleInterface(id);
    }
    int childCount() const override { return bar()->count(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= bar()->count()) return nullptr;
        const auto found = tabs_.find(index);
        if (found != tabs_.end()) return QAccessible::accessibleInterface(found->second);
        auto* tab = new TabAccessible(bar(), index);
        tabs_[index] = QAccessible::registerAccessibleInterface(tab);
        return tab;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (const auto& [index, id] : tabs_)
            if (QAccessible::accessibleInterface(id) == child) return index;
        return -1;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && bar()->currentIndex() >= 0)
            return QString(bar()->tabText(bar()->currentIndex())).remove(QLatin1Char('&'));
        return QAccessibleWidget::text(t);
    }

private:
    QTabBar* bar() const { return static_cast<QTabBar*>(object()); }
    mutable std::map<int, QAccessible::Id> tabs_;
};

QAccessibleInterface* pageTabsFactory(const QString& className, QObject* object)
{
    if (className != QLatin1String("QTabBar")) return nullptr;
    auto* bar = qobject_cast<QTabBar*>(object);
    // Only the page controls' bars; other tab bars keep the toolkit's.
    if (!bar || !bar->property("zelPageTabs").toBool()) return nullptr;
    return new TabBarAccessible(bar);
}

} // namespace

void ExposePageTabStates()
{
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(&pageTabsFactory); });
}

void KeepEmptyTablesQuiet()
{
    // On top of whatever handles messages now, once.
    const QtMessageHandler current = qInstallMessageHandler(nullptr);
    if (current == &dropEmptyTableWarning) {
        qInstallMessageHandler(current);
        return;
    }
    previousHandler = current;
    qInstallMessageHandler(&dropEmptyTableWarning);
}

} // namespace zel
