#ifndef CLOSINGSIGNALS_H
#define CLOSINGSIGNALS_H

#include <QObject>

#include <functional>

// The requests to end that come from outside the window: a logout, a
// terminal's Ctrl+C, a script's kill (SIGHUP, SIGINT, SIGTERM). Windows asks
// a windowed program through its window instead, so there they do nothing.
namespace ClosingSignals {

// Keeps the signals pending from now until onArrival() takes them, so that
// one arriving during start-up is not met by its default action. Call it
// first thing in main(), before any thread starts.
void hold();

// Runs `action` from the event loop whenever one of the signals arrives, so
// that it ends the program by its ordinary path. The handler only writes a
// byte to a pipe that a socket notifier watches. Once per program; the
// notifier lives as long as `context`. Signals held until now follow.
void onArrival(QObject *context, std::function<void()> action);

} // namespace ClosingSignals

#endif
