#include "platform/widgets/Canvas.h"

#include <QFontMetrics>
#include <QPainter>

namespace zel {

void TCanvas::FillRect(const QRect& r)
{
    painter_->fillRect(r, Brush.Color);
}

void TCanvas::TextRect(const QRect& r, int x, int y, const QString& text)
{
    painter_->save();
    painter_->setClipRect(r, Qt::IntersectClip);
    painter_->setFont(Font.toQFont());
    painter_->setPen(Font.Color);
    const QFontMetrics fm(Font.toQFont());
    painter_->drawText(QPoint(x, y + fm.ascent()), Font.MapText(text));
    painter_->restore();
}

void TCanvas::Draw(int x, int y, const QPixmap& picture)
{
    painter_->drawPixmap(x, y, picture);
}

} // namespace zel
