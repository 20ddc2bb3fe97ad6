#ifndef FLIGHTPARAMS_H
#define FLIGHTPARAMS_H

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>
#include <optional>

// The timer's flight parameters. Row i is at the same time byte i of the
// parameter block, in both firmware generations.
struct FlightParam
{
    int row;
    const char *name;
    const char *unit;
    int minimum;
    int maximum;
    int step;
};

namespace FlightParams {

constexpr int RowCount = 11;
constexpr int HighestRow = RowCount - 1;
constexpr int AutorunRow = 7;
constexpr int ShutterSpeedRow = 6;

const std::array<FlightParam, RowCount> &table();
const FlightParam &row(int row);

// The two firmware generations, told apart by the "/Z" probe.
struct Generation
{
    qint16 LastParam;
    qint16 BlockLen;
};
constexpr Generation EightByte{ 7, 8 };
constexpr Generation SixteenByte{ 10, 16 };

// Value that row `row` takes from its block byte: "Autorun Mode" is a switch.
int valueFromByte(int row, quint8 byte);

// Rows 0..lastParam from a received block, or nothing when the block is too
// short to fill every row in use.
std::optional<QList<int>> decodeBlock(QByteArrayView block, int lastParam);

} // namespace FlightParams

#endif
