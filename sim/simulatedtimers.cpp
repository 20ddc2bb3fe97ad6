#include "simulatedtimers.h"
#include "inprocessline.h"
#include "perlosim.h"

QByteArray SimulatedTimers::versionOf(int blockLen)
{
    return blockLen == 8 ? "V1SIM" : "V2SIM";
}

int SimulatedTimers::blockLenOf(const QString &device)
{
    if (device == QLatin1String("sim") || device == QLatin1String("sim:16"))
        return 16;
    if (device == QLatin1String("sim:8"))
        return 8;
    return 0;
}

QIODevice *SimulatedTimers::lineFor(const QString &device)
{
    const int blockLen = blockLenOf(device);
    if (blockLen == 0)
        return nullptr;
    auto found = m_timers.constFind(blockLen);
    if (found != m_timers.constEnd())
        return found->programEnd;
    Timer timer{ new PerloSim(this), new ProgramEnd(this) };
    timer.sim->setGeneration(blockLen);
    timer.sim->setVersion(versionOf(blockLen));
    timer.sim->startInProcess(timer.programEnd);
    m_timers.insert(blockLen, timer);
    return timer.programEnd;
}
