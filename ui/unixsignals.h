#ifndef UNIXSIGNALS_H
#define UNIXSIGNALS_H

#include <QObject>

#include <functional>
#include <initializer_list>

// Keeps `signalNumbers` pending from now until runOnSignals takes them, so
// that one arriving during start-up is not met by its default action. Call it
// first thing in main(), before any thread starts.
void holdSignals(std::initializer_list<int> signalNumbers);

// Runs `action` from the event loop whenever one of `signalNumbers` arrives,
// so that a signal ends the program by its ordinary path. The handler only
// writes a byte to a pipe that a socket notifier watches. Once per program;
// the notifier lives as long as `context`. Signals held until now follow.
void runOnSignals(std::initializer_list<int> signalNumbers, QObject *context,
                  std::function<void()> action);

#endif
