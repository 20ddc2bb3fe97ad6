// perlo-sim: a simulated PERLO-II timer on a pseudo-terminal.
#include "closingsignals.h"
#include "perlosim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("perlo-sim");

    QCommandLineParser parser;
    parser.setApplicationDescription(
            "A simulated PERLO-II camera timer on a pseudo-terminal. Prints the path of "
            "the serial end; point RURUZIDURA_COM1 at it.");
    parser.addHelpOption();
    const QCommandLineOption generation("generation", "Firmware block length: 8 or 16.", "bytes",
                                        "16");
    const QCommandLineOption version("firmware", "Version text answered to /V.", "text", "V2.10");
    const QCommandLineOption link("link", "Also make a symlink to the serial end at <path>.",
                                  "path");
    const QCommandLineOption fullSpeed("full-speed", "Send at full speed instead of 2400 baud.");
    QStringList faultNames;
    for (const PerloSim::Fault known : PerloSim::faults())
        faultNames.append(PerloSim::faultName(known));
    const QCommandLineOption fault(
            "fault", QStringLiteral("Misbehave: %1.").arg(faultNames.join(", ")), "kind", "none");
    const QCommandLineOption delay("delay", "Wait <ms> before every reply.", "ms", "0");
    const QCommandLineOption strict("strict", "Refuse /P blocks sent too fast.");
    const QCommandLineOption wireLog(
            "wire-log", "Append every byte received to <file>: steady clock in ns, byte in hex.",
            "file");
    const QCommandLineOption pacing(
            "pacing", "Print the pace that --strict wants of a /P block, in ns, and exit.");
    parser.addOptions(
            { generation, version, link, fullSpeed, fault, delay, strict, wireLog, pacing });
    parser.process(app);
    if (parser.isSet(pacing)) {
        std::printf("block-lead-ns %lld\nblock-byte-gap-ns %lld\n",
                    qlonglong(PerloSim::BlockLeadNs), qlonglong(PerloSim::BlockByteGapNs));
        return 0;
    }

    bool faultKnown = false;
    const PerloSim::Fault chosenFault = PerloSim::faultFromName(parser.value(fault), &faultKnown);
    const int blockLen = parser.value(generation).toInt();
    if (!faultKnown || (blockLen != 8 && blockLen != 16)) {
        std::fprintf(stderr, "perlo-sim: unknown fault or generation\n");
        return 2;
    }

    PerloSim sim;
    sim.setGeneration(blockLen);
    sim.setVersion(parser.value(version).toLatin1());
    sim.setLinePaced(!parser.isSet(fullSpeed));
    sim.setFault(chosenFault);
    sim.setReplyDelay(parser.value(delay).toInt());
    sim.setStrict(parser.isSet(strict));

    QFile log(parser.value(wireLog));
    if (parser.isSet(wireLog)) {
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            std::fprintf(stderr, "perlo-sim: %s: %s\n", qPrintable(log.fileName()),
                         qPrintable(log.errorString()));
            return 1;
        }
        // Another program reads it while the timer runs: a whole line per write.
        QObject::connect(&sim, &PerloSim::byteReceived, &log, [&log](quint8 byte, qint64 ns) {
            log.write(QByteArray::number(ns) + ' '
                      + QByteArray::number(byte, 16).rightJustified(2, '0') + '\n');
        });
    }

    QString error;
    if (!sim.start(&error) || (parser.isSet(link) && !sim.makeLink(parser.value(link), &error))) {
        std::fprintf(stderr, "perlo-sim: %s\n", qPrintable(error));
        return 1;
    }
    // Ends the event loop, so that the link is removed.
    ClosingSignals::onArrival(&app, &QCoreApplication::quit);
    std::printf("perlo-sim: a %d-byte timer (%s) on %s\n", blockLen,
                qPrintable(parser.value(version)), qPrintable(sim.portPath()));
    std::fflush(stdout);
    return app.exec();
}
