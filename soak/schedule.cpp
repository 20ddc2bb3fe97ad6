#include "schedule.h"

#include "flightparams.h"

#include <array>

quint64 SoakRandom::next()
{
    quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

QString TimerBehaviour::name() const
{
    QString text = PerloSim::faultName(fault);
    if (delay == Delay::JustBefore)
        text += QStringLiteral("+just-before");
    else if (delay == Delay::JustAfter)
        text += QStringLiteral("+just-after");
    if (refused)
        text += QStringLiteral("+refuse-/%1").arg(QLatin1Char(refused));
    return text;
}

int TimerBehaviour::replyDelayMs() const
{
    // Against the 500 ms watchdog: every reply complete 130 ms or more before
    // it (a 20-byte block at 2400 baud takes 83 ms), or starting 120 ms after.
    switch (delay) {
    case Delay::JustBefore:
        return 285;
    case Delay::JustAfter:
        return 620;
    default:
        return 0;
    }
}

QString actionName(Action action)
{
    static const std::array<const char *, 9> names{ "choose port", "connect",      "step",
                                                    "type",        "set",          "retrieve",
                                                    "shutter",     "fresh window", "idle" };
    return QString::fromLatin1(names[size_t(action)]);
}

bool isExchange(Action action)
{
    return action == Action::Connect || action == Action::Set || action == Action::Retrieve
            || action == Action::Shutter;
}

TimerBehaviour Schedule::drawBehaviour()
{
    using F = PerloSim::Fault;
    const QList<F> &faults = PerloSim::faults();
    static const std::array<char, 4> refusable{ 'V', 'D', 'P', 'S' };
    const int faultDraw = m_random.below(100);
    const int delayDraw = m_random.below(100);
    const int refuseDraw = m_random.below(100);
    const char refusedCommand = refusable[size_t(m_random.below(4))];

    TimerBehaviour b;
    // Half the time a sound timer; the rest spread over the faults.
    b.fault = faultDraw < 50 ? F::None : faults[1 + (faultDraw - 50) % (faults.size() - 1)];
    // Delays and single refusals ride on faults that keep the replies' markers and pace.
    const bool plain = b.fault == F::None || b.fault == F::ShortBlock || b.fault == F::LongBlock;
    if (plain && delayDraw < 30)
        b.delay = delayDraw < 15 ? Delay::JustBefore : Delay::JustAfter;
    if (plain && refuseDraw < 20)
        b.refused = refusedCommand;
    return b;
}

QByteArray Schedule::drawBlock()
{
    QByteArray block(PerloSim::MaxBlockLen, '\0');
    for (int row = 0; row < FlightParams::RowCount; ++row) {
        const int draw = m_random.below(100);
        const int value = m_random.below(256);
        const int top = FlightParams::row(row).maximum;
        // Some rows at their ends, so that steps meet them.
        int v = draw < 15 ? 0 : draw < 30 ? top : value % (top + 1);
        if (row == FlightParams::ShutterSpeedRow)
            v = value % 6; // short shutter tests keep the run moving
        block[row] = char(quint8(v));
    }
    return block;
}

Step Schedule::next()
{
    Step s;
    // Weights that keep the window busy: the exchanges most, then the rows.
    struct Weighted
    {
        Action action;
        int weight;
    };
    static const std::array<Weighted, 9> actions{ { { Action::ChoosePort, 8 },
                                                    { Action::Connect, 12 },
                                                    { Action::Step, 20 },
                                                    { Action::Type, 4 },
                                                    { Action::Set, 15 },
                                                    { Action::Retrieve, 13 },
                                                    { Action::Shutter, 10 },
                                                    { Action::FreshWindow, 2 },
                                                    { Action::Idle, 3 } } };
    int draw = m_random.below(87);
    for (const Weighted &w : actions) {
        if (draw < w.weight) {
            s.action = w.action;
            break;
        }
        draw -= w.weight;
    }
    s.timersPort = m_random.percent(75);
    s.row = m_random.below(FlightParams::RowCount);
    s.up = m_random.percent(50);
    s.repeat = 1 + m_random.below(3);
    s.impatient = m_random.percent(15);
    s.thinkMs = m_random.below(60);
    s.readMs = 20 + m_random.below(200);

    s.changeBehaviour = m_random.percent(25);
    s.behaviour = drawBehaviour();
    s.newBlock = m_random.percent(20);
    s.block = drawBlock();
    s.switchGeneration = m_random.percent(30);
    s.emptyLineListed = m_random.percent(80);

    s.barrage = m_random.percent(15);
    const int closeDraw = m_random.below(100);
    const int closeMs = m_random.below(700);
    s.closeAfterMs = closeDraw < 4 ? closeMs : -1;
    const int hangDraw = m_random.below(100);
    const int hangBytes = 1 + m_random.below(20);
    const int hangDelay = m_random.below(300);
    if (hangDraw < 6) {
        s.hangUpAfterBytes = hangBytes;
        s.hangUpDelayMs = hangDelay;
    }
    s.changeDuring = m_random.percent(5);
    s.changeDuringMs = m_random.below(600);
    s.during = drawBehaviour();
    s.comeBackMs = 1000 + m_random.below(5000);
    s.comeBackElsewhere = m_random.percent(50);
    s.idleMs = 500 + m_random.below(2500);
    s.inputSeed = m_random.next();
    return s;
}
