#include "timerfixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <ctime>

void useAsCom1(const QString &path)
{
    qputenv("RURUZIDURA_COM1", QFile::encodeName(path));
}

SimLink::SimLink(int blockLen)
{
    sim.setGeneration(blockLen);
    sim.setLinePaced(false);
    const QString cable = dir.filePath(QStringLiteral("com1"));
    if (QString error; !sim.start(&error) || !sim.makeLink(cable, &error))
        qFatal("cannot start the simulated timer: %s", qPrintable(error));
    useAsCom1(cable);
    link = std::make_unique<TimerLink>(&view);
    link->Form_Load();
}

SimLink::~SimLink()
{
    link.reset();
    qunsetenv("RURUZIDURA_COM1");
}

void spin(int ms)
{
    for (const QDeadlineTimer deadline(ms, Qt::PreciseTimer); !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                        int(qMax<qint64>(1, deadline.remainingTime())));
}

qint64 cpuTimeUs()
{
    return qint64(std::clock()) * 1000000 / CLOCKS_PER_SEC;
}

QByteArray blockOf(const QList<int> &rows)
{
    QByteArray block(PerloSim::MaxBlockLen, '\0');
    for (qsizetype i = 0; i < rows.size(); ++i)
        block[i] = char(quint8(rows[i]));
    return block;
}
