#include "app/TransportGlyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace app {

namespace {
template <typename Draw> QPixmap Glyph(Draw draw)
{
    QPixmap pixmap(GlyphSize, GlyphSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    draw(painter);
    return pixmap;
}
} // namespace

QPixmap RecordGlyph()
{
    return Glyph([](QPainter &painter) {
        painter.setBrush(QColor(0xD0, 0x10, 0x10));
        painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    });
}

QPixmap PlayGlyph()
{
    return Glyph([](QPainter &painter) {
        QPainterPath triangle;
        triangle.moveTo(4.5, 2.5);
        triangle.lineTo(13.5, 8);
        triangle.lineTo(4.5, 13.5);
        triangle.closeSubpath();
        painter.setBrush(QColor(0x10, 0x90, 0x20));
        painter.drawPath(triangle);
    });
}

QPixmap StopGlyph()
{
    return Glyph([](QPainter &painter) {
        painter.setBrush(QColor(0x20, 0x20, 0x70));
        painter.drawRect(QRectF(3.5, 3.5, 9, 9));
    });
}

} // namespace app
