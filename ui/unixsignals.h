#ifndef UNIXSIGNALS_H
#define UNIXSIGNALS_H

#include <QObject>

#include <functional>
#include <initializer_list>

// Runs `action` from the event loop whenever one of `signalNumbers` arrives,
// so that a signal ends the program by its ordinary path. The handler only
// writes a byte to a pipe that a socket notifier watches. Once per program;
// the notifier lives as long as `context`.
void runOnSignals(std::initializer_list<int> signalNumbers, QObject *context,
                  std::function<void()> action);

#endif
