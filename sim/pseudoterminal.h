#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QString>

// A new pseudo-terminal in raw mode: its master descriptor (or -1, with
// `error` set) and, in `serialPath`, the end a program opens as a serial line.
// Raw at once: no echo and no line editing of whatever arrives before the
// program has opened and set up its end (a modem manager's "AT\r").
int openPseudoTerminal(QString *serialPath, QString *error = nullptr);

#endif
