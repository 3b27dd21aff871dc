// quorvanta-get: downloads one URL with the program's download engine and slot logic.
//
//   quorvanta-get [--parts N] [--user-agent TEXT] [--proxy HOST:PORT] [--dir FOLDER] URL
//
// Prints the job's log lines as they happen (and a progress line on a terminal). Exit status:
// 0 complete, 1 failed, 2 bad arguments, 130/143 paused by SIGINT/SIGTERM. A paused or failed
// job keeps its record beside the target as "<target>.qvjob"; the same command resumes it.

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "engine/DownloadLogText.h"
#include "engine/DownloadSlot.h"
#include "store/Globals.h"
#include "store/JobDbFormat.h"
#include "store/JobTable.h"
#include "store/NumberRule.h"
#include "store/Settings.h"
#include "store/VbDate.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int sig) {
    const char c = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

void Usage(FILE* to) {
    std::fputs(
        "Usage: quorvanta-get [--parts N] [--user-agent TEXT] [--proxy HOST:PORT] [--dir FOLDER] "
        "URL\n"
        "  --parts N          connections, 1 to 10 (default 5)\n"
        "  --user-agent TEXT  User-Agent text (default \"Quorvanta 1.0\")\n"
        "  --proxy HOST:PORT  send the requests through an HTTP proxy\n"
        "  --dir FOLDER       folder for the file (default: the current folder)\n"
        "  --timeout SECONDS  give up (resumably) when nothing arrives for so long (default 60;\n"
        "                     0 waits for ever)\n",
        to);
}

QString FinalName(const QString& localFile) {
    return localFile.endsWith(QLatin1String("!qv")) ? localFile.chopped(3) : localFile;
}

// The job's record beside the target, "<target>.qvjob", in the job database layout.
bool WriteRecord(const JobRecord& record, const QString& path) {
    QByteArray bytes;
    JobDbFormat::WriteJob(bytes, record);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(bytes);
    return file.commit();
}

bool ReadRecord(const QString& path, JobRecord& record) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.readAll();
    JobDbFormat::Reader reader(bytes);
    return reader.ReadJob(record);
}

// A stored record for this URL among the names the job may have got: a.swf, a0.swf, a01.swf ...
QString FindRecord(const QString& target, const QString& url, JobRecord& found) {
    QString name = target;
    for (int counter = 0; counter <= 32767; ++counter) {
        const QString recordFile = name + QStringLiteral(".qvjob");
        const bool any = QFile::exists(name) || QFile::exists(name + QStringLiteral("!qv")) ||
                         QFile::exists(recordFile);
        if (!any) break;
        JobRecord record;
        if (QFile::exists(recordFile) && ReadRecord(recordFile, record) && record.Url == url) {
            found = record;
            return recordFile;
        }
        name = clsDownLoadJob::GetFileBase(name) + QString::number(counter) +
               clsDownLoadJob::GetFileExt(name);
    }
    return QString();
}

class GetRun : public QObject {
public:
    GetRun(const QString& url, bool tty, int timeoutSeconds)
        : url(url), tty(tty), slot(1), timeout(timeoutSeconds) {
        connect(&slot, &DownloadSlot::LogLine, this,
                [this](int, int part, const QString& text, int) { PrintLine(part, text); });
        connect(&slot, &DownloadSlot::Report, this,
                [this](int, int, const QString& kind, const QString&) { OnReport(kind); });
        connect(&slot, &DownloadSlot::Completed, this, [this](int, int) { OnCompleted(); });
        connect(&slot, &DownloadSlot::RunEnded, this,
                [this](int, int, const QString& reason) { OnRunEnded(reason); });
        saveTimer.setInterval(2000);
        connect(&saveTimer, &QTimer::timeout, this, [this] { SaveRecord(); });
        stallTimer.setSingleShot(true);
        connect(&stallTimer, &QTimer::timeout, this,
                [this] { Stop(1, QStringLiteral("No data for %1 seconds").arg(timeout)); });
    }

    void Begin() {
        clock.start();
        saveTimer.start();
        ArmStall();
        slot.BindAndStart(1);
    }

    void Stop(int code, const QString& message) {
        if (finished) return;
        slot.Pause();
        ClearProgress();
        SaveRecord();
        Finish(code, message);
    }

private:
    void ArmStall() {
        if (timeout > 0) stallTimer.start(timeout * 1000);
    }

    void PrintLine(int part, const QString& text) {
        ClearProgress();
        std::printf("[%d] %s\n", part, text.toLocal8Bit().constData());
        std::fflush(stdout);
    }

    void ClearProgress() {
        if (progressShown) {
            std::fputs("\r\033[K", stdout);
            progressShown = false;
        }
    }

    void OnReport(const QString& kind) {
        ArmStall();
        const JobRecord& r = Jobs[1];
        if (!recordWritten && r.FileOpen != 0) {
            recordWritten = true;
            SaveRecord();
        }
        if (!tty || kind != QLatin1String("DataArrival")) return;
        const qint64 ms = clock.elapsed();
        if (ms - lastProgress < 200) return;
        lastProgress = ms;
        const double rate = ms > 0 ? r.Received / (ms / 1000.0) : 0;
        QString line;
        if (r.FileSize > 0)
            line = QStringLiteral("%1% %2 of %3 bytes, %4 KiB/s")
                       .arg(static_cast<int>(100.0 * r.Received / r.FileSize))
                       .arg(r.Received)
                       .arg(r.FileSize)
                       .arg(static_cast<qint64>(rate / 1024));
        else
            line = QStringLiteral("%1 bytes, %2 KiB/s")
                       .arg(r.Received)
                       .arg(static_cast<qint64>(rate / 1024));
        std::printf("\r\033[K%s", line.toLocal8Bit().constData());
        std::fflush(stdout);
        progressShown = true;
    }

    void SaveRecord() {
        const JobRecord& r = Jobs[1];
        // Only a job with a file on disk has something to resume.
        if (r.State == StateComplete || r.LocalFile.isEmpty()) return;
        if (r.FileOpen == 0 && r.IsNew != 0) return;
        const QString path = FinalName(r.LocalFile) + QStringLiteral(".qvjob");
        if (!recordPath.isEmpty() && recordPath != path) QFile::remove(recordPath);
        recordPath = path;
        WriteRecord(r, path);
    }

    void OnCompleted() {
        const JobRecord& r = Jobs[1];
        QFile::remove(FinalName(r.LocalFile) + QStringLiteral(".qvjob"));
        if (!recordPath.isEmpty()) QFile::remove(recordPath);
        ClearProgress();
        std::printf("Job complete.%s\n%s\n", r.Url.toLocal8Bit().constData(),
                    r.LocalFile.toLocal8Bit().constData());
        Finish(0, QString());
    }

    void OnRunEnded(const QString& reason) {
        ClearProgress();
        SaveRecord();
        Finish(1, reason);
    }

    void Finish(int code, const QString& message) {
        if (finished) return;
        finished = true;
        saveTimer.stop();
        stallTimer.stop();
        std::fflush(stdout);
        if (!message.isEmpty())
            std::fprintf(stderr, "quorvanta-get: %s\n", message.toLocal8Bit().constData());
        QCoreApplication::exit(code);
    }

    QString url;
    bool tty;
    DownloadSlot slot;
    int timeout;
    QTimer saveTimer;
    QTimer stallTimer;
    QElapsedTimer clock;
    qint64 lastProgress = -1000;
    bool progressShown = false;
    bool recordWritten = false;
    QString recordPath;  // where the record was written last
    bool finished = false;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();

    const SettingsRecord defaults;
    int parts = defaults.Parts;
    QString userAgent = defaults.Useragent;
    QString proxy;
    QString dir = QDir::currentPath();
    int timeout = defaults.Rtimeout;
    QString url;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            Usage(stdout);
            return 0;
        } else if (a == QLatin1String("--parts") && hasValue) {
            bool ok = false;
            parts = args[++i].toInt(&ok);
            if (!ok || parts < 1 || parts > kMaxParts) {
                std::fputs("quorvanta-get: --parts takes a number from 1 to 10\n", stderr);
                return 2;
            }
        } else if (a == QLatin1String("--user-agent") && hasValue) {
            userAgent = args[++i];
        } else if (a == QLatin1String("--proxy") && hasValue) {
            proxy = args[++i];
        } else if (a == QLatin1String("--dir") && hasValue) {
            dir = args[++i];
        } else if (a == QLatin1String("--timeout") && hasValue) {
            bool ok = false;
            timeout = args[++i].toInt(&ok);
            if (!ok || timeout < 0) {
                std::fputs("quorvanta-get: --timeout takes a number of seconds\n", stderr);
                return 2;
            }
        } else if (a.startsWith(QLatin1String("--")) || !url.isEmpty()) {
            Usage(stderr);
            return 2;
        } else {
            url = a;
        }
    }
    if (url.isEmpty()) {
        Usage(stderr);
        return 2;
    }

    InitGlobals();
    if (QFile::exists(IniFile)) LoadSettingsFromFile(IniFile);

    JobRecord record;
    record.Url = url.trimmed();
    record.UserAgent = userAgent;
    if (!proxy.isEmpty()) {
        const qsizetype colon = proxy.lastIndexOf(QLatin1Char(':'));
        const int port = colon > 0 ? proxy.mid(colon + 1).toInt() : 0;
        if (colon <= 0 || port < 1 || port > 65535) {
            std::fputs("quorvanta-get: --proxy takes HOST:PORT\n", stderr);
            return 2;
        }
        record.UseProxy = VbTrue;
        record.ProxyHost = proxy.left(colon);
        record.ProxyPort = static_cast<uint16_t>(port);
    }
    JobRecord split = record;
    clsDownLoadJob::SplitUrl(record.Url, split);
    QString fileName = split.FileName;
    if (fileName.isEmpty()) fileName = QStringLiteral("index.html");
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "quorvanta-get: cannot create the folder %s\n",
                     dir.toLocal8Bit().constData());
        return 1;
    }
    const QString target = QDir(dir).absoluteFilePath(fileName);

    JobRecord stored;
    const QString recordFile = FindRecord(target, record.Url, stored);
    bool resumed = false;
    if (!recordFile.isEmpty()) {
        const bool fileThere = QFile::exists(stored.LocalFile);
        if (stored.IsNew != 0 || fileThere) {
            stored.UserAgent = record.UserAgent;
            stored.UseProxy = record.UseProxy;
            stored.ProxyHost = record.ProxyHost;
            stored.ProxyPort = record.ProxyPort;
            record = stored;
            resumed = true;
            std::printf("Resuming %s (%d of %d bytes)\n",
                        record.LocalFile.toLocal8Bit().constData(), record.Received,
                        record.FileSize);
        } else {
            QFile::remove(recordFile);  // its partial file is gone: start again
        }
    }
    if (!resumed) {
        record.ClassKey = QStringLiteral("Downloaded");
        record.State = StateWaiting;
        record.IsNew = VbTrue;
        record.FileOpen = VbFalse;
        record.Parts = static_cast<int16_t>(parts);
        record.LocalFile = target;
        record.FileName = fileName;
        record.CreateTime = VbDate::Now();
    }
    ClearJobs();
    AddJob(record);

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return 1;
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    GetRun run(record.Url, ::isatty(STDOUT_FILENO) != 0, timeout);
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &run, [&run] {
        char c = 0;
        if (::read(signalPipe[0], &c, 1) != 1) return;
        const int code = 128 + c;
        run.Stop(code, QStringLiteral("Paused; run the same command again to resume."));
    });
    QTimer::singleShot(0, &run, [&run] { run.Begin(); });
    return app.exec();
}
