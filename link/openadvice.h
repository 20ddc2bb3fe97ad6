#ifndef OPENADVICE_H
#define OPENADVICE_H

#include <QString>

// What the system can say of a port it refused to open.
namespace OpenAdvice {

// The group to join when the user may not use `device`, as a paragraph of
// the open-failure box; empty where the system has no such groups or the
// user may use the device (then another program holds it).
QString groupToJoin(const QString &device);

} // namespace OpenAdvice

#endif
