#ifndef WIRELOG_H
#define WIRELOG_H

#include "perlosim.h"

// Where the letter of the first "/<command>" is in what a timer received, or -1.
qsizetype commandIndex(const QList<PerloSim::Received> &got, char command);

#endif
