// versionFromReply on any reply: for a "V" with room before the first "OK",
// exactly the slice from the "V" up to the two characters in front of the
// "OK"; otherwise text from in front of the "OK" without line breaks at its ends.
#include "fuzzcheck.h"
#include "replytext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString reply =
            QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString version = versionFromReply(reply);
    const qsizetype v = reply.indexOf(u'V'), k = reply.indexOf(QLatin1String("OK"));
    if (v >= 0 && k - v - 2 >= 0)
        FUZZ_CHECK(version == reply.mid(v, k - v - 2));
    else
        FUZZ_CHECK((k >= 0 ? reply.left(k) : reply).contains(version) && !version.startsWith(u'\r')
                   && !version.startsWith(u'\n') && !version.endsWith(u'\r')
                   && !version.endsWith(u'\n'));
    return 0;
}
