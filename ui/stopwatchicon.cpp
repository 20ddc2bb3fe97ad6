#include "stopwatchicon.h"

#include <QPainter>
#include <QPixmap>

void paintStopwatch(QPainter &p)
{
    // Crown and its button.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x80, 0x80, 0x80));
    p.drawRect(QRectF(13, 1, 6, 3));
    p.drawRect(QRectF(14.5, 4, 3, 4));
    p.save();
    p.translate(25, 8);
    p.rotate(45);
    p.drawRect(QRectF(-1.5, -3, 3, 5));
    p.restore();

    // Case and dial.
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(QColor(0xc0, 0xc0, 0xc0));
    p.drawEllipse(QPointF(16, 19), 12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 19), 9.5, 9.5);

    // Quarter ticks and the hands.
    p.setPen(QPen(Qt::black, 1.5));
    for (int i = 0; i < 4; ++i) {
        p.save();
        p.translate(16, 19);
        p.rotate(90 * i);
        p.drawLine(QPointF(0, -9), QPointF(0, -6.5));
        p.restore();
    }
    p.setPen(QPen(Qt::red, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 19), QPointF(21.5, 13.5));
    p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 19), QPointF(16, 12));
}

QImage stopwatchImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    paintStopwatch(p);
    return image;
}

QIcon stopwatchIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(stopwatchImage(16)));
    icon.addPixmap(QPixmap::fromImage(stopwatchImage(32)));
    return icon;
}
