#ifndef BOXLOOK_H
#define BOXLOOK_H

#include <QStringList>

class QMessageBox;

// What an error box that is up gets wrong of the house style: a critical box
// with OK alone, titled "RURUZidura", shown with the default pointer.
QStringList boxStyleFaults(const QMessageBox &box);

#endif
