#include "platform/widgets/Scaling.h"

#include "platform/widgets/Controls.h"
#include "platform/widgets/DBGrid.h"

#include <QLayout>
#include <QWidget>

#include <cmath>
#include <functional>
#include <vector>

namespace zel {

namespace {

bool placedByLayout(const QWidget* w)
{
    const QWidget* parent = w->parentWidget();
    return parent && parent->layout() && parent->layout()->indexOf(w) >= 0;
}

} // namespace

void ScaleControls(QWidget* screen, double ratio)
{
    if (!screen || std::abs(ratio - 1.0) < 1e-6) return;
    // Every bound is taken before any is changed: the arrangement of aligned
    // children moves their siblings as the parents grow.
    struct Placed {
        QWidget* control;
        QRect bounds;
    };
    std::vector<Placed> placed;
    std::function<void(QWidget*)> collect = [&](QWidget* parent) {
        for (QObject* o : parent->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (!w || w->isWindow()) continue;
            if (CreationOrder(w) != 0 && !placedByLayout(w)) placed.push_back({w, w->geometry()});
            collect(w);
        }
    };
    collect(screen);
    for (const Placed& p : placed)
        SetBounds(p.control, ScaleDesign(p.bounds.x(), ratio), ScaleDesign(p.bounds.y(), ratio),
                  ScaleDesign(p.bounds.width(), ratio), ScaleDesign(p.bounds.height(), ratio));
    for (TDBGrid* grid : screen->findChildren<TDBGrid*>())
        for (int i = 0; i < grid->ColumnCount(); ++i)
            if (TColumn* c = grid->Columns(i); c->HasWidth()) c->setWidth(ScaleDesign(c->Width(), ratio));
}

} // namespace zel
