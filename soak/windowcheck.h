#ifndef WINDOWCHECK_H
#define WINDOWCHECK_H

#include "soakrecords.h"

class frmMain;

// How the window differs from what it must look like after `when`: the busy
// pointer, a box still up, every control's enabling, the chosen port, the
// rows in use and their texts. Empty when it does not.
QString windowBreach(frmMain &window, const WindowModel &model, const QString &when);

#endif
