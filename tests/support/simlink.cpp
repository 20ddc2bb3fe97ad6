#include "simlink.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

SimLink::SimLink(int blockLen, bool linePaced)
{
    sim.setGeneration(blockLen);
    sim.setLinePaced(linePaced);
    if (QString error; !sim.start(&error))
        qFatal("cannot start the simulated timer: %s", qPrintable(error));
    qputenv("RURUZIDURA_COM1", QFile::encodeName(sim.portPath()));
    link = std::make_unique<TimerLink>(&view);
    link->Form_Load();
}

void SimLink::spin(int ms)
{
    for (const QDeadlineTimer deadline(ms, Qt::PreciseTimer); !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                        int(qMax<qint64>(1, deadline.remainingTime())));
}
