#ifndef LINKVIEW_H
#define LINKVIEW_H

#include <QString>

// What the link reaches of the window: the parameter rows, whose spinners
// hold the only copy of the values, and the firmware version box.
class LinkView
{
public:
    virtual ~LinkView() = default;

    virtual int paramValue(int row) const = 0;
    virtual void setParamValue(int row, int value) = 0;
    // A row in use has its spinner and box enabled and the box on the window
    // background; a row out of use is disabled and greyed.
    virtual void setRowInUse(int row, bool inUse) = 0;
    virtual void setVersionText(const QString &text) = 0;
};

#endif
