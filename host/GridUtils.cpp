#include "host/GridUtils.h"

#include "platform/widgets/Canvas.h"
#include "platform/widgets/DBGrid.h"

#include <QBitmap>
#include <QPainter>
#include <QWidget>

namespace zel {

void RefreshGrid(QWidget* form)
{
    if (!form) return;
    for (TDBGrid* grid : form->findChildren<TDBGrid*>()) {
        grid->viewport()->update();
        grid->viewport()->repaint();
    }
}

QPixmap TransparentPicture(const QPixmap& picture, const QColor& transparent)
{
    if (picture.isNull() || !transparent.isValid()) return picture;
    QPixmap out = picture;
    out.setMask(picture.createMaskFromColor(transparent, Qt::MaskInColor));
    return out;
}

void InsereImagem(QPainter* painter, const QRect& rect, const QPixmap& picture, const QColor& transparent)
{
    if (!painter || picture.isNull()) return;
    const QPixmap pm = TransparentPicture(picture, transparent);
    const QSize size = pm.deviceIndependentSize().toSize();
    const QPoint at(rect.left() + (rect.width() - size.width()) / 2, rect.top() + (rect.height() - size.height()) / 2);
    painter->save();
    painter->setClipRect(rect);
    painter->drawPixmap(at, pm);
    painter->restore();
}

void InsereImagem(TDBGrid* grid, const QRect& rect, const QPixmap& picture, const QColor& transparent)
{
    if (!grid || !grid->Canvas()) return;
    InsereImagem(grid->Canvas()->Painter(), rect, picture, transparent);
}

} // namespace zel
