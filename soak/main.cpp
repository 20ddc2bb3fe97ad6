// ruru-soak: the real window, off-screen, against simulated timers that
// misbehave at random, for as long as asked; fails at the first broken
// invariant. See the README's "Soak" section.
//
//   ./build/soak/ruru-soak --minutes 60
#include "soakrun.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("ruru-soak");

    QCommandLineParser parser;
    parser.setApplicationDescription(
            "Hours of random use of the real window against a misbehaving simulated timer.");
    parser.addHelpOption();
    const QCommandLineOption seed("seed", "The schedule's seed (default: from the clock).", "n");
    const QCommandLineOption replay("replay", "Run the schedule of seed <n>, printing each step.",
                                    "n");
    const QCommandLineOption minutes("minutes", "How long to run.", "m", "1");
    parser.addOptions({ seed, replay, minutes });
    parser.process(app);

    SoakOptions options;
    bool ok = true;
    options.minutes = parser.value(minutes).toDouble(&ok);
    const QString seedText = parser.isSet(replay) ? parser.value(replay) : parser.value(seed);
    options.seed = seedText.isEmpty() ? quint64(QDateTime::currentMSecsSinceEpoch())
                                      : seedText.toULongLong(&ok);
    options.replay = parser.isSet(replay);
    if (!ok || options.minutes <= 0) {
        std::fprintf(stderr, "ruru-soak: --seed and --minutes take numbers\n");
        return 2;
    }
    SoakRun soak(options);
    return soak.run();
}
