#pragma once
// The described texts of the download reports: the kind words and the job log's lines, one
// place for the table, used by DownloadSlot, the job list and quorvanta-get. Inside the engine
// reports are typed (ReportKind); their words are made here only.

#include <QList>
#include <QString>
#include <QStringList>

#include "engine/ReportKind.h"

// Log kinds of the job log.
enum DownloadLogKind : int {
    LogConnecting = 1,
    LogConnected = 2,
    LogRequestLine = 3,
    LogResponseLine = 4,
    LogClosed = 7,
    LogProblem = 8,  // error, cancel, redirect
    LogGeneral = 100,
};

struct DownloadLogLine {
    QString Text;
    int Kind = LogGeneral;
    bool operator==(const DownloadLogLine&) const = default;
};

namespace DownloadLogText {

// The word of a report kind ("Connecting", "DataArrival", "ReSumeTestError", ...).
QString KindWord(ReportKind kind);

// The lines the owner writes to the job log for one report (none for "DataArrival", "Error" and
// "ReSumeTestError").
QList<DownloadLogLine> Lines(int part, ReportKind kind, const QString& detail);

// Splits a request or response head into its log lines: repeatedly take the text before the
// first CR LF (and drop it with the pair), or drop one character when there is none, until fewer
// than four characters remain. A last line without CR LF is not returned.
QStringList SplitHeadLines(const QString& text);

}  // namespace DownloadLogText
