#include "wirelog.h"

qsizetype commandIndex(const QList<PerloSim::Received> &got, char command)
{
    for (qsizetype i = 1; i < got.size(); ++i) {
        if (got[i - 1].byte == '/' && got[i].byte == quint8(command))
            return i;
    }
    return -1;
}
