#include "platform/widgets/ButtonFlat.h"

#include "platform/data/Guard.h"
#include "platform/widgets/FormFocus.h"

#include <QIcon>

namespace zel {

TButtonFlat::TButtonFlat(QWidget* parent, const QString& name) : QToolButton(parent)
{
    setObjectName(name);
    MarkControl(this);
    InstallFocusTracker();
    setFocusPolicy(Qt::NoFocus);
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(this, &QToolButton::clicked, this, [this] {
        if (OnClick) Guarded([this] { OnClick(this); });
    });
}

void TButtonFlat::setGlyph(const QPixmap& glyph, int numGlyphs)
{
    glyph_ = glyph;
    numGlyphs_ = std::max(1, numGlyphs);
    QIcon icon;
    if (!glyph.isNull()) {
        const int w = glyph.width() / numGlyphs_;
        icon.addPixmap(glyph.copy(0, 0, w, glyph.height()), QIcon::Normal);
        if (numGlyphs_ >= 2) icon.addPixmap(glyph.copy(w, 0, w, glyph.height()), QIcon::Disabled);
        setIconSize(QSize(w, glyph.height()));
    }
    setIcon(icon);
}

void TButtonFlat::Click()
{
    if (isEnabled() && OnClick) OnClick(this);
}

} // namespace zel
