#include "frmmain.h"
#include "stopwatchicon.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RURUZidura"));
    QApplication::setWindowIcon(stopwatchIcon());
    frmMain window;
    window.show();
    return app.exec();
}
