#include "platform/widgets/FormFocus.h"

#include "platform/data/Guard.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace zel {

namespace {

constexpr const char* kScreen = "zelScreen";
constexpr const char* kComposite = "zelComposite";
constexpr const char* kPart = "zelPartOf";

struct Handlers {
    TNotifyEvent onEnter, onExit;
};

struct ScreenState {
    // The chain the active control is in, outermost first, ending with the
    // active control: exactly the widgets whose OnEnter ran last.
    std::vector<QPointer<QWidget>> entered;
    bool busy = false;
    QPointer<QWidget> pending;
    bool hasPending = false;
};

class FocusTracker : public QObject {
public:
    static FocusTracker* instance()
    {
        static QPointer<FocusTracker> self;
        if (!self && qApp) {
            self = new FocusTracker;
            self->setParent(qApp);
            qApp->installEventFilter(self);
            QObject::connect(qApp, &QApplication::focusChanged, self,
                             [](QWidget* old, QWidget* now) { self->focusChanged(old, now); });
        }
        return self;
    }

    // The control whose OnEnter ran last in the screen.
    QWidget* entered(const QWidget* screen) const
    {
        const auto it = states_.constFind(const_cast<QWidget*>(screen));
        if (it == states_.constEnd() || it->entered.empty()) return nullptr;
        return it->entered.back();
    }

    Handlers& handlers(QWidget* w)
    {
        if (!handlers_.contains(w)) QObject::connect(w, &QObject::destroyed, this, [this, w] { handlers_.remove(w); });
        return handlers_[w];
    }

    void focusChanged(QWidget*, QWidget* now)
    {
        if (!now) return; // the application lost the focus: every screen keeps its control
        QWidget* screen = ScreenOf(now);
        if (!screen) return;
        if (!states_.contains(screen))
            QObject::connect(screen, &QObject::destroyed, this, [this, screen] { states_.remove(screen); });
        ScreenState& st = states_[screen];
        if (st.busy) {
            st.pending = now;
            st.hasPending = true;
            return;
        }
        moveTo(screen, ControlOf(now));
    }

protected:
    // Tab and Shift+Tab walk the screen's tab order (see TabChain), unless the
    // control uses the key itself (a grid moving between cells, a memo).
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress) return false;
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
        const bool back =
            k->key() == Qt::Key_Backtab || (k->key() == Qt::Key_Tab && (k->modifiers() & Qt::ShiftModifier));
        if (!back && k->key() != Qt::Key_Tab) return false;
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w != QApplication::focusWidget()) return false;
        QWidget* screen = w;
        while (screen && !screen->property("zelTabOrdered").toBool() && !screen->isWindow())
            screen = screen->parentWidget();
        if (!screen || !screen->property("zelTabOrdered").toBool()) return false;
        QWidget* control = ControlOf(w);
        if (auto* v = dynamic_cast<QAbstractItemView*>(control); v && v->tabKeyNavigation()) return false;
        if (auto* t = dynamic_cast<QPlainTextEdit*>(control); t && !t->tabChangesFocus()) return false;
        if (auto* t = dynamic_cast<QTextEdit*>(control); t && !t->tabChangesFocus()) return false;
        std::vector<QWidget*> stops;
        for (QWidget* c : TabChain(screen))
            if (c == control || (c->isVisibleTo(screen) && c->isEnabled())) stops.push_back(c);
        const auto it = std::find(stops.begin(), stops.end(), control);
        if (it == stops.end() || stops.size() < 2) return false;
        const std::size_t i = std::size_t(it - stops.begin());
        QWidget* next = stops[(i + (back ? stops.size() - 1 : 1)) % stops.size()];
        next->setFocus(back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        return true;
    }

private:
    static std::vector<QPointer<QWidget>> chainOf(QWidget* screen, QWidget* control)
    {
        std::vector<QPointer<QWidget>> chain;
        for (QWidget* w = control; w && w != screen; w = w->parentWidget())
            chain.insert(chain.begin(), w);
        return chain;
    }

    void run(const TNotifyEvent& h, QWidget* sender)
    {
        if (h) Guarded([&] { h(sender); });
    }

    void moveTo(QWidget* screen, QWidget* target)
    {
        QPointer<QWidget> guard(screen);
        ScreenState* st = &states_[screen];
        st->busy = true;
        auto chain = chainOf(screen, target);
        // Picks up a move requested by a handler; false when the screen died.
        int retargets = 0;
        auto retarget = [&]() -> bool {
            if (!guard) return false;
            st = &states_[screen];
            // Handlers that keep throwing the focus at each other stop here.
            if (st->hasPending && ++retargets <= 16) {
                st->hasPending = false;
                QWidget* p = st->pending;
                if (p && ScreenOf(p) == screen) chain = chainOf(screen, ControlOf(p));
            }
            st->hasPending = false;
            return true;
        };
        auto isPrefix = [&] {
            if (st->entered.size() > chain.size()) return false;
            for (size_t i = 0; i < st->entered.size(); ++i)
                if (st->entered[i] != chain[i] || !st->entered[i]) return false;
            return true;
        };
        for (;;) {
            // Leave what the target is not in, innermost first.
            while (!isPrefix()) {
                QPointer<QWidget> w = st->entered.back();
                st->entered.pop_back();
                if (w && handlers_.contains(w)) run(handlers_.value(w).onExit, w);
                if (!retarget()) return;
            }
            // Enter the rest, outermost first.
            bool retargeted = false;
            while (st->entered.size() < chain.size()) {
                QPointer<QWidget> w = chain[st->entered.size()];
                if (!w) {
                    chain.resize(st->entered.size());
                    break;
                }
                st->entered.push_back(w);
                if (handlers_.contains(w)) run(handlers_.value(w).onEnter, w);
                const auto before = chain;
                if (!retarget()) return;
                if (chain != before) {
                    retargeted = true;
                    break;
                }
            }
            if (!retargeted && isPrefix() && st->entered.size() == chain.size()) break;
        }
        st->busy = false;
    }

    QHash<QWidget*, Handlers> handlers_;
    QHash<QWidget*, ScreenState> states_;
};

} // namespace

void InstallFocusTracker()
{
    FocusTracker::instance();
}

void RegisterScreen(QWidget* screen)
{
    screen->setProperty(kScreen, true);
    InstallFocusTracker();
}

QWidget* ScreenOf(const QWidget* w)
{
    for (auto* p = const_cast<QWidget*>(w); p; p = p->parentWidget()) {
        if (p->isWindow() || p->property(kScreen).toBool()) return p;
        if (dynamic_cast<QMdiSubWindow*>(p->parentWidget())) return p;
    }
    return nullptr;
}

void MarkComposite(QWidget* w)
{
    w->setProperty(kComposite, true);
}
void MarkPart(QWidget* part)
{
    part->setProperty(kPart, true);
}

QWidget* ControlOf(QWidget* focused)
{
    for (QWidget* p = focused; p; p = p->parentWidget()) {
        if (p->property(kComposite).toBool()) return p;
        if (p->property(kPart).toBool() && p->parentWidget()) return p->parentWidget();
        if (p->isWindow() || p->property(kScreen).toBool()) break;
    }
    return focused;
}

QWidget* ActiveControl(const QWidget* screen)
{
    if (!screen) return nullptr;
    // The screen's own focus widget survives modal dialogs and window
    // switches, also on platforms where the application's focus widget is
    // empty after a dialog closed.
    QWidget* f = screen->focusWidget();
    if (f && f != screen && ScreenOf(f) == screen) return ControlOf(f);
    // A multiple-document child clears its focus widget when another child is
    // activated; the control it last entered is still its active control.
    return FocusTracker::instance() ? FocusTracker::instance()->entered(screen) : nullptr;
}

void SetOnEnter(QWidget* control, TNotifyEvent handler)
{
    InstallFocusTracker();
    FocusTracker::instance()->handlers(control).onEnter = std::move(handler);
}

void SetOnExit(QWidget* control, TNotifyEvent handler)
{
    InstallFocusTracker();
    FocusTracker::instance()->handlers(control).onExit = std::move(handler);
}

} // namespace zel
