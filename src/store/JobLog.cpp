#include "store/JobLog.h"

#include <algorithm>

#include "store/VbDate.h"

std::vector<LogEntry> JobLog(1001);
int32_t LogCount = 0;
int32_t LogCapacity = 1000;

void InitJobLog() {
    JobLog.clear();
    LogCount = 0;
    LogCapacity = 1000;
    JobLog.resize(LogCapacity + 1);
}

int AddLog(QString& entryList, const QString& text, uint8_t kind, uint8_t part) {
    const int32_t n = LogCount + 1;
    LogCount = n;
    if (n >= LogCapacity - 1000) {
        LogCapacity += 1000;
        JobLog.resize(static_cast<size_t>(LogCapacity) + 1);
    }
    entryList += QString::number(n);
    entryList += QLatin1Char(',');
    LogEntry& entry = JobLog[static_cast<size_t>(n)];
    entry.LogTime = VbDate::Now();
    entry.LogText = text;
    entry.LogKind = kind;
    entry.LogPart = part;
    return n;
}

namespace {
// The leading digits of an element, as the entry number it names (0 when there are none).
int64_t ElementNumber(QStringView element) {
    int64_t value = 0;
    bool any = false;
    for (QChar c : element) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') {
            if (any) break;
            continue;
        }
        if (c < u'0' || c > u'9') break;
        any = true;
        value = value * 10 + (c.unicode() - u'0');
        if (value > INT32_MAX) return 0;
    }
    return value;
}
}  // namespace

std::vector<int32_t> LogEntryNumbers(const QString& entryList, int32_t first) {
    std::vector<int32_t> numbers;
    if (entryList.isEmpty()) return numbers;
    // Elements are the pieces between the commas; the piece after the last comma is the empty
    // end of the list and is not an entry.
    const QStringView all(entryList);
    if (first > 0) {
        // Entry numbers are appended in increasing order, so the new entries are a tail of the
        // list: walk back from the end and stop at the first older entry.
        qsizetype end = all.lastIndexOf(u',');  // the comma closing the element
        while (end >= 0) {
            qsizetype from = end;
            while (from > 0 && all[from - 1] != u',') --from;
            const int64_t e = ElementNumber(all.mid(from, end - from));
            if (e < first) break;
            if (e <= LogCount) numbers.push_back(static_cast<int32_t>(e));
            end = from - 1;
        }
        std::reverse(numbers.begin(), numbers.end());
        return numbers;
    }
    qsizetype from = 0;
    while (true) {
        const qsizetype comma = all.indexOf(u',', from);
        if (comma < 0) break;
        const int64_t e = ElementNumber(all.mid(from, comma - from));
        if (e >= 1 && e <= LogCount) numbers.push_back(static_cast<int32_t>(e));
        from = comma + 1;
    }
    return numbers;
}
