#include "review/Pictures.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QVector>

namespace Cli_zel08100 {
namespace {

// The 16-colour palette of the classic bitmaps.
const QVector<QRgb> kPalette16 = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
    qRgb(192, 192, 192), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
};
enum : uchar { kBlack = 0, kOlive = 3, kGray = 7, kSilver = 8, kYellow = 11, kWhite = 15 };

// A grey, lighter copy for the disabled state of a glyph.
QImage disabledCopy(const QImage& source)
{
    QImage img = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = line[x];
            if (qAlpha(p) == 0) continue;
            const int g = 128 + qGray(p) / 2;
            line[x] = qRgba(g, g, g, qAlpha(p));
        }
    }
    return img;
}

QPixmap sideBySide(const QImage& normal)
{
    QImage both(normal.width() * 2, normal.height(), QImage::Format_ARGB32);
    both.fill(Qt::transparent);
    QPainter p(&both);
    p.drawImage(0, 0, normal);
    p.drawImage(normal.width(), 0, disabledCopy(normal));
    p.end();
    return QPixmap::fromImage(both);
}

} // namespace

QPixmap CheckBoxBitmap(bool checked)
{
    QImage img(16, 16, QImage::Format_Indexed8);
    img.setColorTable(kPalette16);
    img.fill(kOlive);
    // The box covers 13 x 13 pixels from (1, 1).
    const int l = 1, t = 1, r = 13, b = 13;
    for (int y = t; y <= b; ++y)
        for (int x = l; x <= r; ++x)
            img.setPixel(x, y, kWhite);
    for (int i = l; i <= r; ++i) {
        img.setPixel(i, t, kBlack);  // top edge
        img.setPixel(i, b, kSilver); // lower edge
    }
    for (int i = t; i <= b; ++i) {
        img.setPixel(l, i, kBlack);  // left edge
        img.setPixel(r, i, kSilver); // right edge
    }
    img.setPixel(l, b, kBlack);
    if (checked) {
        // A tick three pixels thick: down from (4, 6) to (6, 8), then up to (10, 4).
        for (int k = 0; k < 3; ++k) {
            for (int x = 4, y = 6 + k; x <= 6; ++x, ++y)
                img.setPixel(x, y, kBlack);
            for (int x = 7, y = 7 + k; x <= 10; ++x, --y)
                img.setPixel(x, y, kBlack);
        }
    }
    return QPixmap::fromImage(img);
}

QPixmap FunnelGlyph()
{
    QImage img(18, 18, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF funnel;
    funnel << QPointF(2, 3) << QPointF(16, 3) << QPointF(10.5, 9.5) << QPointF(10.5, 15.5) << QPointF(7.5, 13.5)
           << QPointF(7.5, 9.5);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0, 0, 128));
    p.drawPolygon(funnel);
    p.setPen(QPen(QColor(0, 255, 255), 1));
    p.drawLine(QPointF(4.5, 4.5), QPointF(13.5, 4.5));
    p.end();
    return sideBySide(img);
}

QPixmap LightningGlyph()
{
    QImage img(20, 17, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF bolt;
    bolt << QPointF(11, 0.5) << QPointF(4, 9) << QPointF(9, 9) << QPointF(6, 16.5) << QPointF(16, 6.5)
         << QPointF(11, 6.5) << QPointF(14.5, 0.5);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(255, 255, 0));
    p.drawPolygon(bolt);
    p.end();
    return QPixmap::fromImage(img);
}

QPixmap OpenFolderGlyph()
{
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(QPen(Qt::black, 1));
    // The back of the folder with its tab, then the open front leaning forward.
    p.setBrush(QColor(192, 160, 0));
    QPolygon back;
    back << QPoint(1, 3) << QPoint(5, 3) << QPoint(6, 4) << QPoint(12, 4) << QPoint(12, 7) << QPoint(1, 13);
    p.drawPolygon(back);
    p.setBrush(QColor(255, 255, 0));
    QPolygon front;
    front << QPoint(1, 13) << QPoint(4, 7) << QPoint(15, 7) << QPoint(12, 13);
    p.drawPolygon(front);
    p.end();
    return sideBySide(img);
}

} // namespace Cli_zel08100
