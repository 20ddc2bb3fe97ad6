#ifndef SIMLINK_H
#define SIMLINK_H

#include "linkview.h"
#include "perlosim.h"
#include "timerlink.h"

#include <array>
#include <memory>

// The parameter rows and the version box, as the window would hold them.
struct RowsView : LinkView
{
    std::array<int, 11> values{};
    std::array<bool, 11> inUse{};
    QString version;
    int valueWrites = 0;

    int paramValue(int row) const override { return values.at(size_t(row)); }
    void setParamValue(int row, int value) override { values.at(size_t(row)) = value; ++valueWrites; }
    void setRowInUse(int row, bool use) override { inUse.at(size_t(row)) = use; }
    void setVersionText(const QString &text) override { version = text; }
};

// A simulated timer on a fresh pseudo-terminal published as COM1, and a
// started link on the same event loop.
struct SimLink
{
    explicit SimLink(int blockLen = 16, bool linePaced = false);
    ~SimLink() { link.reset(); qunsetenv("RURUZIDURA_COM1"); }
    bool open() { return link->comPERLO.setPortOpen(true); }
    static void spin(int ms);

    PerloSim sim;
    RowsView view;
    std::unique_ptr<TimerLink> link;
};

#endif
