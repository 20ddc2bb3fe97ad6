#ifndef COSTFIGURES_H
#define COSTFIGURES_H

#include "table.h"

struct RowsView;
class TimerLink;

// What the link's waits cost in processor time: 1 on a silent timer, beside a
// polling design; 8 on a line whose far end hangs up.
QList<Row> cpuWhileWaiting(TimerLink &link, RowsView &view);
Row deadLineCpu();

#endif
