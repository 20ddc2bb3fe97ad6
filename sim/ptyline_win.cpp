#include "simline.h"

SimLine *openPseudoTerminalLine(QObject *, QString *, QString *error)
{
    if (error)
        *error = QStringLiteral("this system has no pseudo-terminals");
    return nullptr;
}
