#include "openadvice.h"

namespace OpenAdvice {

// Windows refuses a port it lets anyone use only when a program holds it.
QString groupToJoin(const QString &)
{
    return {};
}

} // namespace OpenAdvice
