#pragma once

#include "platform/widgets/Controls.h"

#include <QColor>
#include <QPixmap>
#include <QRect>

class QPainter;

namespace zel {

// The drawing surface handed to cell-drawing handlers: a brush (the colour the
// grid chose for the cell), a font with its colour, and the few operations
// the handlers use. It draws on the grid while the cell is being painted.
class TCanvas {
public:
    explicit TCanvas(QPainter* painter) : painter_(painter) {}

    struct TBrush {
        QColor Color;
    } Brush;
    TFont Font;

    void FillRect(const QRect& r);
    // Draws text with its top-left at (x, y), clipped to r.
    void TextRect(const QRect& r, int x, int y, const QString& text);
    void Draw(int x, int y, const QPixmap& picture);

    QPainter* Painter() const { return painter_; }

private:
    QPainter* painter_;
};

} // namespace zel
