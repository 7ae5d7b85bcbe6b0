#pragma once

#include <QColor>
#include <QPixmap>
#include <QRect>

class QPainter;
class QWidget;

namespace zel {

class TDBGrid;

// Repaints every data grid of a screen at once, with the rows as the
// datasets hold them now.
void RefreshGrid(QWidget* form);

// Draws a picture centred in a grid cell, leaving out the pixels of the
// transparent colour. Inside the grid's OnDrawColumnCell it draws on the
// cell being painted; elsewhere it does nothing.
void InsereImagem(TDBGrid* grid, const QRect& rect, const QPixmap& picture, const QColor& transparent);
// The same on any painter.
void InsereImagem(QPainter* painter, const QRect& rect, const QPixmap& picture, const QColor& transparent);

// The picture with the transparent colour left out.
QPixmap TransparentPicture(const QPixmap& picture, const QColor& transparent);

} // namespace zel
