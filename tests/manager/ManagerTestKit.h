#pragma once
// Helpers of the job manager tests: a server that accepts connections and never answers (so a
// job stays running as long as the test wants), jobs pointing at a server, and waiting.

#include <QCoreApplication>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

#include "common/TestEnv.h"
#include "store/JobRecord.h"
#include "store/JobTable.h"
#include "store/Settings.h"

namespace ManagerTestKit {

// Accepts every connection, reads and drops what arrives, never answers.
class SilentServer : public QTcpServer {
public:
    SilentServer() {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
                held.append(s);
            }
        });
    }
    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path);
    }
    int Connections() const { return static_cast<int>(held.size()); }

private:
    QList<QPointer<QTcpSocket>> held;
};

// A new job for url saved into folder (which ends with "/").
inline JobRecord NewJob(const QString& url, const QString& folder, int parts, int state) {
    JobRecord job;
    job.ClassKey = QStringLiteral("101k");
    job.State = state;
    job.Url = url;
    job.FileName = url.section('/', -1);
    job.LocalFile = folder + job.FileName;
    job.Parts = static_cast<int16_t>(parts);
    job.IsNew = VbTrue;
    job.UserAgent = QStringLiteral("Quorvanta 1.0");
    job.Comment = QStringLiteral("test");
    return job;
}

using TestEnv::WaitFor;

// Fresh job table and settings for one test.
inline void ResetJobs(int maxJobs) {
    ClearJobs();
    Settings = SettingsRecord();
    Settings.Maxjobs = static_cast<int16_t>(maxJobs);
}

}  // namespace ManagerTestKit
