#include "engine/Failure.h"

QString Failure::RunStopped(bool hasFile, bool sizeUnknown, qint64 received, qint64 fileSize,
                            const QString& lastError) {
    QString reason;
    if (!hasFile)
        reason = QStringLiteral("No answer from the server") +
                 (lastError.isEmpty() ? QStringLiteral(" (the connection was closed)") : QString());
    else if (sizeUnknown)
        reason = QStringLiteral("Download stopped before the end of the data (%1 bytes received)")
                     .arg(received);
    else
        reason = QStringLiteral("Download stopped before the file was complete (%1 of %2 bytes)")
                     .arg(received)
                     .arg(fileSize);
    if (!lastError.isEmpty()) reason += QStringLiteral(": ") + lastError;
    return reason;
}
