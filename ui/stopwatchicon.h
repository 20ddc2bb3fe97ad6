#ifndef STOPWATCHICON_H
#define STOPWATCHICON_H

#include <QIcon>
#include <QImage>

class QPainter;

// The program's stopwatch: the one drawing behind the window icon and the
// icons installed for the desktop.

// Paints the stopwatch into the square from (0, 0) to (32, 32).
void paintStopwatch(QPainter &painter);

// The stopwatch at `size` x `size` pixels on a transparent background.
QImage stopwatchImage(int size);

// The window icon, at 16 and 32 pixels.
QIcon stopwatchIcon();

#endif
