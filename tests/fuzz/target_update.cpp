// The update check's answer: head, body (chunked or not) and the version in it.

#include "fuzz/FuzzSupport.h"
#include "net/UpdateCheck.h"

QV_FUZZ_ENTRY(update) {
    const QByteArray answer(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const UpdateCheck::Verdict v = UpdateCheck::Parse(answer, QStringLiteral("1.3"));
    QV_FUZZ_CHECK(!v.Status.isEmpty());
    QV_FUZZ_CHECK(v.DownSite.size() <= answer.size() + 3);
    if (!v.Newer) QV_FUZZ_CHECK(v.DownSite.isEmpty());
    return 0;
}
