#include "closingsignals.h"
#include "frmmain.h"
#include "simulatedtimers.h"
#include "stopwatchicon.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // A logout, a terminal's Ctrl+C or a script's kill closes the window as
    // its close button does: the exchange is abandoned and the port released.
    // Until the window is there to close, the signal waits.
    ClosingSignals::hold();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RURUZidura"));
    // Lets docks and task switchers match the window to its desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral(RURUZIDURA_APP_ID));
    QApplication::setWindowIcon(stopwatchIcon());
    // The "simulated timer" entries: COM1 and COM2 are the two generations.
    if (QApplication::arguments().contains(QStringLiteral("--simulated-timer"))) {
        qputenv("RURUZIDURA_COM1", "sim:16");
        qputenv("RURUZIDURA_COM2", "sim:8");
    }
    // Outlives the window, whose port may be one of them.
    SimulatedTimers simulatedTimers;
    frmMain window;
    window.link().comPERLO.setStandIn(
            [&](const QString &device) { return simulatedTimers.lineFor(device); });
    window.show();
    ClosingSignals::onArrival(&window, [&window] { window.close(); });
    return app.exec();
}
