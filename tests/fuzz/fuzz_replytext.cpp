// ReplyText fed in arbitrary chunkings must agree with a plain search over
// everything that arrived, and never keep more than its capacity.
#include "fuzzcheck.h"
#include "replytext.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

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
        }
        // 1: a read that found nothing; 2: a chunk arriving many times over, past the capacity.
        const std::string chunk = operation >= 2
                ? input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(1, 64))
                : "";
        for (int i = operation == 2 ? input.ConsumeIntegralInRange<int>(1, 4096) : 1; i > 0; --i) {
            reply.append(QByteArrayView(chunk.data(), qsizetype(chunk.size())));
            whole += chunk;
        }
        const std::string kept = whole.substr(0, size_t(ReplyText::Capacity));
        FUZZ_CHECK(reply.hasOk() == (whole.find("OK") != std::string::npos)
                   && reply.hasEr() == (whole.find("ER") != std::string::npos)
                   && reply.receivedCount() == qint64(whole.size())
                   && reply.text() == QString::fromLatin1(kept.data(), qsizetype(kept.size())));
    }
    return 0;
}
