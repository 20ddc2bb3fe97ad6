// ReplyText fed in arbitrary chunkings must agree with a plain search over
// everything that arrived, and never keep more than its capacity.
#include "fuzzcheck.h"
#include "replytext.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

namespace {

// What the reply must report, worked out the slow way over the whole text.
void checkAgainstWholeText(const ReplyText &reply, const std::string &whole)
{
    FUZZ_CHECK(reply.hasOk() == (whole.find("OK") != std::string::npos));
    FUZZ_CHECK(reply.hasEr() == (whole.find("ER") != std::string::npos));
    FUZZ_CHECK(reply.hasMarker() == (reply.hasOk() || reply.hasEr()));
    FUZZ_CHECK(reply.receivedCount() == qint64(whole.size()));
    const QString kept = reply.text();
    FUZZ_CHECK(kept.size() <= ReplyText::Capacity);
    const std::string expected = whole.substr(0, size_t(ReplyText::Capacity));
    FUZZ_CHECK(kept == QString::fromLatin1(expected.data(), qsizetype(expected.size())));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    ReplyText reply;
    std::string whole;
    while (input.remaining_bytes() > 0) {
        const auto operation = input.ConsumeIntegralInRange<int>(0, 15);
        if (operation == 0) { // a new exchange
            reply.clear();
            whole.clear();
        } else if (operation == 1) { // a read that found nothing waiting
            reply.append({});
        } else {
            const auto length = input.ConsumeIntegralInRange<size_t>(1, 64);
            const std::string chunk = input.ConsumeBytesAsString(length);
            // Some chunks arrive many times over, so the text outgrows the capacity.
            const int repeats = operation == 2 ? input.ConsumeIntegralInRange<int>(1, 4096) : 1;
            for (int i = 0; i < repeats; ++i) {
                reply.append(QByteArrayView(chunk.data(), qsizetype(chunk.size())));
                whole += chunk;
            }
        }
        checkAgainstWholeText(reply, whole);
    }
    return 0;
}
