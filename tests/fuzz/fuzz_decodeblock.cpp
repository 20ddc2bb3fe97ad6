// FlightParams::decodeBlock on blocks of any length and any LastParam: a
// value for every row in use, or nothing when the block is too short.
#include "flightparams.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // Mostly the rows a generation can have; now and then a nonsense count.
    const int lastParam = data[0] < 0xf0 ? data[0] % FlightParams::RowCount : int(qint8(data[0]));
    const QByteArrayView block(data + 1, qsizetype(size - 1));
    const auto values = FlightParams::decodeBlock(block, lastParam);
    FUZZ_CHECK(values.has_value()
               == (lastParam >= 0 && lastParam <= FlightParams::HighestRow
                   && block.size() > lastParam));
    for (int row = 0; values && row <= lastParam; ++row)
        FUZZ_CHECK(values->size() == lastParam + 1
                   && values->at(row)
                           == (row == FlightParams::AutorunRow ? int(block[row] != 0)
                                                               : quint8(block[row])));
    return 0;
}
