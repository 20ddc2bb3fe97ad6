#include "flightparams.h"

namespace FlightParams {

const std::array<FlightParam, RowCount> &table()
{
    static const std::array<FlightParam, RowCount> rows{ {
            { 0, "Launch Detect", "(1/100 Sec)", 0, 255, 1 },
            { 1, "Launch Delay", "(1/10 Sec)", 0, 255, 1 },
            { 2, "Number of Groups", "(Count)", 0, 255, 1 },
            { 3, "Number of Pictures", "(Count)", 0, 255, 1 },
            { 4, "Picture Interval", "(1/10 Sec)", 0, 255, 1 },
            { 5, "Group Interval", "(Seconds)", 0, 255, 1 },
            { 6, "Shutter Speed", "(1/10 Sec)", 0, 255, 1 },
            { 7, "Autorun Mode", "(0 or 1)", 0, 1, 1 },
            { 8, "Powerup Time", "(1/10 Sec)", 0, 255, 1 },
            { 9, "Cycle Count", "(Count)", 0, 255, 1 },
            { 10, "Cycle Pacing", "(1/10 Sec)", 0, 255, 1 },
    } };
    return rows;
}

const FlightParam &row(int row)
{
    return table().at(size_t(row));
}

int valueFromByte(int row, quint8 byte)
{
    if (row == AutorunRow)
        return byte == 0 ? 0 : 1;
    return byte;
}

std::optional<QList<int>> decodeBlock(QByteArrayView block, int lastParam)
{
    if (lastParam < 0 || lastParam > HighestRow || block.size() <= lastParam)
        return std::nullopt;
    QList<int> values;
    values.reserve(lastParam + 1);
    for (int i = 0; i <= lastParam; ++i)
        values.append(valueFromByte(i, quint8(block[i])));
    return values;
}

} // namespace FlightParams
