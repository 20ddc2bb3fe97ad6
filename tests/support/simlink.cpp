#include "simlink.h"

#include <QCoreApplication>
#include <QFile>
#include <QDeadlineTimer>

SimLink::SimLink(int blockLen, bool linePaced)
{
    sim.setGeneration(blockLen);
    sim.setLinePaced(linePaced);
    QString error;
    if (!sim.start(&error))
        qFatal("cannot start the simulated timer: %s", qPrintable(error));
    qputenv("RURUZIDURA_COM1", QFile::encodeName(sim.portPath()));
    link = std::make_unique<TimerLink>(&view);
    link->Form_Load();
}

SimLink::~SimLink()
{
    link.reset();
    qunsetenv("RURUZIDURA_COM1");
}

bool SimLink::open()
{
    return link->comPERLO.setPortOpen(true);
}

void SimLink::spin(int ms)
{
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                        int(qMax<qint64>(1, deadline.remainingTime())));
}
