#ifndef POLLINGSHUTTER_H
#define POLLINGSHUTTER_H

#include <QtGlobal>

class TimerLink;

// The shutter test as the straightforward design writes it: the same steps as
// TimerLink::TestShutter(), but its wait reads the port and runs the events
// already queued over and over, never sleeping until something happens.
// Only here to show what the link's blocking wait saves.
qint16 pollingTestShutter(TimerLink &link, int shutterSpeed);

#endif
