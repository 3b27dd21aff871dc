#include "engine/ServerCapacity.h"

#include <QDateTime>
#include <algorithm>

void ServerCapacity::Reset() {
    cap = kMaxParts;
    known = kMaxParts;
    pending = false;
    told = false;
    strikes = 0;
    refusedAt.invalidate();
    closedEarlyAt.invalidate();
    waiting.fill(false);
}

void ServerCapacity::Refused(int k, int active) {
    waiting[k] = true;
    refusedAt.start();
    if (told && active < known) {
        const bool afterOwnClose =
            closedEarlyAt.isValid() && closedEarlyAt.elapsed() < kClosedEarlyMs;
        if (afterOwnClose || ++strikes < kStrikes) return;
    }
    strikes = 0;
    cap = std::max(1, active);
    if (told) known = std::min(known, cap);
    pending = true;
}

bool ServerCapacity::TellOnce(bool allAnswered, int active, QString* line) {
    if (!pending || told || !allAnswered) return false;
    pending = false;
    told = true;
    cap = std::max(1, active);
    known = cap;
    *line = QStringLiteral("The server accepts %1 connections; going on with %1.").arg(cap);
    return true;
}

int ServerCapacity::RetryAfterSeconds(const QString& value) {
    const QString text = value.trimmed();
    if (text.isEmpty()) return -1;
    bool isNumber = false;
    qint64 seconds = text.toLongLong(&isNumber);
    if (!isNumber) {
        const QDateTime when = QDateTime::fromString(text, Qt::RFC2822Date);
        if (!when.isValid()) return -1;
        seconds = std::max<qint64>(0, QDateTime::currentDateTimeUtc().secsTo(when));
    }
    if (seconds < 0) return -1;
    return static_cast<int>(std::min<qint64>(seconds, 3600));
}
