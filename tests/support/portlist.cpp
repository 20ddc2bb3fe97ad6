#include "portlist.h"

QList<PresentPort> portsFrom(const QStringList &spelled)
{
    QList<PresentPort> ports;
    for (const QString &p : spelled)
        ports.append({ p.section('|', 0, 0), p.section('|', 1, 1), p.section('|', 2, 2) });
    return ports;
}
