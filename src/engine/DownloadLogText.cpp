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

QString KindWord(ReportKind kind) {
    switch (kind) {
        case ReportKind::Connecting:
            return QStringLiteral("Connecting");
        case ReportKind::Connected:
            return QStringLiteral("Connected");
        case ReportKind::Request:
            return QStringLiteral("Request");
        case ReportKind::Response:
            return QStringLiteral("Response");
        case ReportKind::DataArrival:
            return QStringLiteral("DataArrival");
        case ReportKind::Redirect:
            return QStringLiteral("Redirect");
        case ReportKind::RequestError:
            return QStringLiteral("RequestError");
        case ReportKind::ResumeTestError:
            return QStringLiteral("ReSumeTestError");
        case ReportKind::Close:
            return QStringLiteral("Close");
        case ReportKind::Error:
            return QStringLiteral("Error");
        case ReportKind::Cancel:
            return QStringLiteral("Cancel");
        case ReportKind::Autorename:
            return QStringLiteral("Autorename");
    }
    return QString();
}

QList<DownloadLogLine> Lines(int part, ReportKind kind, const QString& detail) {
    QList<DownloadLogLine> out;
    switch (kind) {
        case ReportKind::Connecting:
            out.append({QStringLiteral("Connecting:") + detail, LogConnecting});
            break;
        case ReportKind::Connected:
            out.append({QStringLiteral("Connected:") + detail, LogConnected});
            break;
        case ReportKind::Request:
            out.append({QStringLiteral("Send Request."), LogGeneral});
            // The login is the job's secret: its line is shown without it.
            for (const QString& line : SplitHeadLines(detail))
                out.append({line.startsWith(QLatin1String("Authorization:"), Qt::CaseInsensitive)
                                ? QStringLiteral("Authorization: (not shown)")
                                : line,
                            LogRequestLine});
            out.append({QStringLiteral("Waiting For Server Response..."), LogGeneral});
            break;
        case ReportKind::Response:
            out.append({QStringLiteral("Reveive the Server Response.."), LogGeneral});
            for (const QString& line : SplitHeadLines(detail)) out.append({line, LogResponseLine});
            out.append({QStringLiteral("Start Receiving Date..."), LogGeneral});
            break;
        case ReportKind::Close:
            out.append({QStringLiteral("This Part Receiving Data Complete."), LogClosed});
            out.append({detail == QLatin1String("MeComplete")
                            ? QStringLiteral("Close the Connection.")
                            : QStringLiteral("The Connection Close by Server."),
                        LogClosed});
            break;
        case ReportKind::Autorename:
            out.append({QStringLiteral("File Exits , Auto Rename:") + detail, LogGeneral});
            break;
        case ReportKind::Cancel:
            out.append({QStringLiteral("This Part ") + QString::number(part) +
                            QStringLiteral(" Cancel By Part ") + detail,
                        LogProblem});
            break;
        case ReportKind::Redirect:
            out.append({QStringLiteral("Redirect link to other site:") + detail, LogProblem});
            break;
        case ReportKind::RequestError:
            out.append({QStringLiteral("Request Url Error! ") + detail, LogProblem});
            break;
        case ReportKind::DataArrival:
        case ReportKind::ResumeTestError:
        case ReportKind::Error:
            break;
    }
    return out;
}

}  // namespace DownloadLogText
