#include "openadvice.h"

#include <QFile>

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OpenAdvice {

QString groupToJoin(const QString &device)
{
    const QByteArray path = QFile::encodeName(device);
    struct stat info
    {
    };
    if (::access(path.constData(), R_OK | W_OK) == 0 || errno != EACCES
        || ::stat(path.constData(), &info) != 0)
        return {};
    const group *owner = ::getgrgid(info.st_gid);
    const QString groupName =
            owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(info.st_gid);
    return QStringLiteral("\r\n\r\nYou must be a member of the group \"%1\", which owns "
                          "the device (sudo usermod -aG %1 $USER, then log in again).")
            .arg(groupName);
}

} // namespace OpenAdvice
