#include "engine/Failure.h"

Failure Failure::FromDetail(const QString& detail) {
    qsizetype n = 0;
    while (n < detail.size() && (detail.at(n).isDigit() || detail.at(n) == QLatin1Char('-'))) ++n;
    bool ok = false;
    const int code = detail.left(n).toInt(&ok);
    return {ok ? code : -1, true, detail.mid(n)};
}
