#ifndef STOPWATCHICON_H
#define STOPWATCHICON_H

#include <QIcon>

// The program's stopwatch, drawn at 16 and 32 pixels.
QIcon stopwatchIcon();

#endif
