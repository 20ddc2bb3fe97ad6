#ifndef STARTUPFIGURES_H
#define STARTUPFIGURES_H

#include "table.h"

// 7. Start-up. The window's own start-up is timed from inside by this program
// run as a probe (same libraries, same window, built as the program builds
// it); the real program is watched from outside until it goes idle.
QList<Row> startUp();

// The probe's side: started with this option, the benchmark shows the window,
// prints when main() began and when the first frame was painted, and exits.
inline constexpr char StartupProbeOption[] = "--startup-probe";
int startupProbe(int argc, char *argv[]);

#endif
