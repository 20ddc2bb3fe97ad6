#ifndef ROWSVIEW_H
#define ROWSVIEW_H

#include "flightparams.h"
#include "linkview.h"

#include <QString>

#include <array>

// The parameter rows and the version box, as the window would hold them.
struct RowsView : LinkView
{
    std::array<int, FlightParams::RowCount> values{};
    std::array<bool, FlightParams::RowCount> inUse{};
    QString version;
    int valueWrites = 0;

    int paramValue(int row) const override { return values.at(size_t(row)); }
    void setParamValue(int row, int value) override
    {
        values.at(size_t(row)) = value;
        ++valueWrites;
    }
    void setRowInUse(int row, bool use) override { inUse.at(size_t(row)) = use; }
    void setVersionText(const QString &text) override { version = text; }
};

#endif
