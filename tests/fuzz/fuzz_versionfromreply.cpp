// versionFromReply on any reply: never fails, shows only text of the reply,
// and for a "V" with room before the first "OK" shows exactly the slice from
// the "V" up to the two characters in front of the "OK".
#include "fuzzcheck.h"
#include "replytext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString reply = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString version = versionFromReply(reply);

    FUZZ_CHECK(reply.contains(version));
    const qsizetype v = reply.indexOf(QLatin1Char('V'));
    const qsizetype k = reply.indexOf(QLatin1String("OK"));
    if (v >= 0 && k >= 0 && k - v - 2 >= 0) {
        FUZZ_CHECK(version == reply.mid(v, k - v - 2));
        return 0;
    }
    // Otherwise: text from in front of the first "OK", without line breaks at its ends.
    const QString before = k >= 0 ? reply.left(k) : reply;
    FUZZ_CHECK(before.contains(version));
    FUZZ_CHECK(version.size() <= before.size());
    if (!version.isEmpty()) {
        for (const QChar end : {version.front(), version.back()})
            FUZZ_CHECK(end != u'\r' && end != u'\n');
    }
    return 0;
}
