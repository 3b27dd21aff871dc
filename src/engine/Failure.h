#pragma once
// Why a connection failed: the socket error number (-1 when the failure is the engine's or the
// server's, 10060 for a timeout), whether another attempt may help, and the reason as told.

#include <QString>

struct Failure {
    int code = -1;
    bool retryable = true;
    QString text;

    // A connection's failure detail: its leading number is the code, the rest the text.
    static Failure FromDetail(const QString& detail);
    // A failure of the engine's own judgement, with its reason.
    static Failure Of(const QString& text, bool retryable = true) { return {-1, retryable, text}; }
    // Why a run ended with every connection closed and the file not whole: nothing came
    // (hasFile false), the data without a length stopped, or the file is short; then the last
    // connection error, if any.
    static QString RunStopped(bool hasFile, bool sizeUnknown, qint64 received, qint64 fileSize,
                              const QString& lastError);
};
