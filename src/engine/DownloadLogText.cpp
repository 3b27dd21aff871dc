#include "engine/DownloadLogText.h"

namespace DownloadLogText {

QStringList SplitHeadLines(const QString& text) {
    QStringList lines;
    QString rest = text;
    do {
        const qsizetype p = rest.indexOf(QLatin1String("\r\n"));
        if (p >= 0) {
            lines << rest.left(p);
            rest.remove(0, p + 2);
        } else {
            rest.remove(0, 1);
        }
    } while (rest.size() >= 4);
    return lines;
}

QList<DownloadLogLine> Lines(int part, const QString& kind, const QString& detail) {
    QList<DownloadLogLine> out;
    if (kind == QLatin1String("Connecting")) {
        out.append({QStringLiteral("Connecting:") + detail, LogConnecting});
    } else if (kind == QLatin1String("Connected")) {
        out.append({QStringLiteral("Connected:") + detail, LogConnected});
    } else if (kind == QLatin1String("Request")) {
        out.append({QStringLiteral("Send Request."), LogGeneral});
        // The login is the job's secret: its line is shown without it.
        for (const QString& line : SplitHeadLines(detail))
            out.append({line.startsWith(QLatin1String("Authorization:"), Qt::CaseInsensitive)
                            ? QStringLiteral("Authorization: (not shown)")
                            : line,
                        LogRequestLine});
        out.append({QStringLiteral("Waiting For Server Response..."), LogGeneral});
    } else if (kind == QLatin1String("Response")) {
        out.append({QStringLiteral("Reveive the Server Response.."), LogGeneral});
        for (const QString& line : SplitHeadLines(detail)) out.append({line, LogResponseLine});
        out.append({QStringLiteral("Start Receiving Date..."), LogGeneral});
    } else if (kind == QLatin1String("Close")) {
        out.append({QStringLiteral("This Part Receiving Data Complete."), LogClosed});
        out.append({detail == QLatin1String("MeComplete")
                        ? QStringLiteral("Close the Connection.")
                        : QStringLiteral("The Connection Close by Server."),
                    LogClosed});
    } else if (kind == QLatin1String("Autorename")) {
        out.append({QStringLiteral("File Exits , Auto Rename:") + detail, LogGeneral});
    } else if (kind == QLatin1String("Cancel")) {
        out.append({QStringLiteral("This Part ") + QString::number(part) +
                        QStringLiteral(" Cancel By Part ") + detail,
                    LogProblem});
    } else if (kind == QLatin1String("Redirect")) {
        out.append({QStringLiteral("Redirect link to other site:") + detail, LogProblem});
    } else if (kind == QLatin1String("RequestError")) {
        out.append({QStringLiteral("Request Url Error! ") + detail, LogProblem});
    }
    return out;
}

}  // namespace DownloadLogText
