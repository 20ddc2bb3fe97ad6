#ifndef PORTLIST_H
#define PORTLIST_H

#include "portmap.h"

#include <QStringList>

// Ports as a test table spells them, "device|description|maker" each, in the
// order the system lists them.
QList<PresentPort> portsFrom(const QStringList &spelled);

#endif
