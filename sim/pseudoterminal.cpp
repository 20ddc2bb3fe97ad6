#include "pseudoterminal.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

int openPseudoTerminal(QString *serialPath, QString *error)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    const char *failed = master < 0 ? "posix_openpt" : nullptr;
    if (!failed && (::grantpt(master) != 0 || ::unlockpt(master) != 0))
        failed = "unlockpt";
    char name[128];
    if (!failed && ::ptsname_r(master, name, sizeof name) != 0)
        failed = "ptsname";
    if (failed) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(failed, qt_error_string(errno));
        if (master >= 0)
            ::close(master);
        return -1;
    }
    *serialPath = QString::fromLocal8Bit(name);
    termios tio{};
    if (::tcgetattr(master, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B2400);
        ::tcsetattr(master, TCSANOW, &tio);
    }
    return master;
}
