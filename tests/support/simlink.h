#ifndef SIMLINK_H
#define SIMLINK_H

#include "linkview.h"
#include "perlosim.h"
#include "timerlink.h"

#include <QList>
#include <QString>

#include <array>
#include <memory>

// The parameter rows and the version box, as the window would hold them.
class RowsView : public LinkView
{
public:
    std::array<int, 11> values{};
    std::array<bool, 11> inUse{};
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

// A simulated timer on a fresh pseudo-terminal, published as COM1 (and COM2
// when asked), and a link on the same event loop with its start-up done.
struct SimLink
{
    explicit SimLink(int blockLen = 16, bool linePaced = false);
    ~SimLink();

    bool open(); // opens the link's port; QVERIFY it
    // Runs the event loop for `ms` milliseconds.
    static void spin(int ms);

    PerloSim sim;
    RowsView view;
    std::unique_ptr<TimerLink> link;
};

#endif
