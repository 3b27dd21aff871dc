#pragma once
// Why a connection failed: the socket error's or errno's number (-1 when the failure is the
// engine's or the server's, 5 for a timeout), whether another attempt may help, and the reason as
// told.

#include <QString>

struct Failure {
    int code = -1;
    bool retryable = true;
    QString text;

    // As an "Error" report tells it: the code's decimal digits with the text right behind them.
    QString Described() const { return QString::number(code) + text; }
    // A failure of the engine's own judgement, with its reason.
    static Failure Of(const QString& text, bool retryable = true) { return {-1, retryable, text}; }
    // Why a run ended with every connection closed and the file not whole: nothing came
    // (hasFile false), the data without a length stopped, or the file is short; then the last
    // connection error, if any.
    static QString RunStopped(bool hasFile, bool sizeUnknown, qint64 received, qint64 fileSize,
                              const QString& lastError);
};
