#include "closingsignals.h"
#include "frmmain.h"
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
    frmMain window;
    window.show();
    ClosingSignals::onArrival(&window, [&window] { window.close(); });
    return app.exec();
}
