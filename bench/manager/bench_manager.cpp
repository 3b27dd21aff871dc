// Benchmark of the job manager: eight jobs of ten connections each from a local nginx, in a
// window (offscreen unless a display is asked for), against quorvanta-get fetching the same eight
// files one after the other. Prints the throughput of both and the longest delay of a 20 ms timer
// during the window's run. Targets: no timer event more than 100 ms late, throughput within 10%
// of the command-line tool's.
//
//   bench_manager [--get PATH] [--size MB] [--jobs N] [--parts N] [--rate RATE]
//                 [--shot FILE.png] [--shot-at PERCENT] [--keep]

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QRandomGenerator>
#include <QSplitter>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <memory>

#include "manager/DownInfoPane.h"
#include "manager/NowDownView.h"
#include "manager/clsJobManager.h"
#include "manager/frmJobmessage.h"
#include "store/Globals.h"
#include "store/JobLog.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/VbDate.h"
#include "tree/CategoryTreeUi.h"
#include "tree/TreeMirror.h"
#include "ui/frmMain.h"

namespace {

// CPU time of this thread in milliseconds: tells a slow handler from a busy machine.
qint64 ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<qint64>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// nginx serving root on 127.0.0.1; killed with the object.
class Nginx {
public:
    Nginx(const QString& prefix, const QString& root, const QString& rate) {
        QDir().mkpath(prefix + "/logs");
        QDir().mkpath(prefix + "/tmp");
        port = FreePort();
        const QString conf =
            QStringLiteral(
                "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                "error_log %1/logs/error.log warn;\npid %1/logs/nginx.pid;\n"
                "events { worker_connections 1024; }\n"
                "http {\n access_log off;\n client_body_temp_path %1/tmp/b;\n"
                " proxy_temp_path %1/tmp/p;\n fastcgi_temp_path %1/tmp/f;\n"
                " uwsgi_temp_path %1/tmp/u;\n scgi_temp_path %1/tmp/s;\n"
                " default_type application/octet-stream;\n sendfile on;\n"
                " server {\n  listen 127.0.0.1:%2;\n  root %3;\n  %4\n }\n}\n")
                .arg(prefix)
                .arg(port)
                .arg(root, rate.isEmpty() ? QString() : "limit_rate " + rate + ";");
        QFile f(prefix + "/nginx.conf");
        f.open(QIODevice::WriteOnly);
        f.write(conf.toUtf8());
        f.close();
        const QString exe = QFile::exists("/usr/sbin/nginx") ? "/usr/sbin/nginx" : "nginx";
        process.start(exe, {"-p", prefix, "-c", prefix + "/nginx.conf"});
        process.waitForStarted(5000);
        for (int i = 0; i < 250; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            if (s.waitForConnected(100)) {
                ok = true;
                break;
            }
            QThread::msleep(20);
        }
    }
    ~Nginx() {
        process.kill();
        process.waitForFinished(3000);
    }
    QString Url(const QString& name) const {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(port).arg(name);
    }
    bool ok = false;

private:
    QProcess process;
    quint16 port = 0;
};

bool SameFile(const QString& a, const QString& b) {
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly)) return false;
    if (fa.size() != fb.size()) return false;
    while (!fa.atEnd()) {
        if (fa.read(1 << 20) != fb.read(1 << 20)) return false;
    }
    return true;
}

QString FindGet(const QString& given) {
    if (!given.isEmpty()) return given;
    const QString here = QCoreApplication::applicationDirPath() + "/quorvanta-get";
    return QFile::exists(here) ? here : QString();
}


// Many small movies, as a page search leaves them: queued paused in the main window, started
// with "Start Download All", timed until the last is complete; then aria2c fetching the same
// files from the same nginx (-i list -j8 -x1). Prints both times and their ratio.
int RunCollection(const QString& work, const QString& targets, int movies, int kb,
                  const QList<int>& partsList) {
    QDir().mkpath(work + "/www/c");
    const QByteArray body = [kb] {
        QByteArray b(kb * 1024, Qt::Uninitialized);
        QRandomGenerator gen(4711);
        gen.fillRange(reinterpret_cast<quint32*>(b.data()), b.size() / 4);
        return b;
    }();
    QStringList urls;
    Nginx nginx(work + "/nginx", work + "/www", QString());
    if (!nginx.ok) {
        std::fprintf(stderr, "nginx did not start\n");
        return 2;
    }
    for (int i = 1; i <= movies; ++i) {
        QFile f(work + QStringLiteral("/www/c/m%1.swf").arg(i));
        f.open(QIODevice::WriteOnly);
        f.write(body);
        urls << nginx.Url(QStringLiteral("c/m%1.swf").arg(i));
    }
    bool allOk = true;
    double windowSeconds = 0;
    for (int parts : partsList) {
        const QString folder = targets + QStringLiteral("/gui%1/").arg(parts);
        QDir().mkpath(folder);
        ClearJobs();
        InitJobLog();
        Settings = SettingsRecord();
        auto main = std::make_unique<frmMain>();
        main->Load();
        Settings.Maxjobs = 8;
        Settings.PopMessage = 0;
        Settings.Notify = 0;
        main->resize(1280, 800);
        main->show();
        main->Categories()->mirror()->Select("NowDownLoad");
        clsJobManager* manager = main->Manager();
        for (int i = 1; i <= movies; ++i) {
            JobRecord job;
            job.ClassKey = "101k";
            job.State = StatePaused;
            job.Url = urls[i - 1];
            job.FileName = QStringLiteral("m%1.swf").arg(i);
            job.LocalFile = folder + job.FileName;
            job.Parts = static_cast<int16_t>(parts);
            job.IsNew = VbTrue;
            job.UserAgent = Settings.Useragent;
            manager->AddToNowDownList(AddJob(job));
        }
        int done = 0, failed = 0;
        QEventLoop loop;
        QObject::connect(manager, &clsJobManager::JobCompleted, &loop, [&](int) {
            if (++done + failed == movies) loop.quit();
        });
        QObject::connect(manager, &clsJobManager::JobFailed, &loop, [&](int, const QString&) {
            if (done + ++failed == movies) loop.quit();
        });
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(0, manager, [manager] { manager->StartAll(); });
        loop.exec();
        const double seconds = clock.nsecsElapsed() / 1e9;
        bool ok = done == movies;
        for (int i = 1; i <= movies && ok; ++i)
            ok = SameFile(work + QStringLiteral("/www/c/m%1.swf").arg(i),
                          folder + QStringLiteral("m%1.swf").arg(i));
        allOk = allOk && ok;
        std::printf("Window, %d movies of %d KB, %d connection(s) a job: %.2f s%s\n", movies, kb,
                    parts, seconds, ok ? "" : "  (NOT ALL COMPLETE AND EXACT)");
        if (windowSeconds == 0) windowSeconds = seconds;
        main->ExitProgram();
    }
    // aria2c on the same list, eight at a time, one connection each.
    const QString list = work + "/list.txt";
    {
        QFile f(list);
        f.open(QIODevice::WriteOnly);
        f.write(urls.join('\n').toUtf8() + '\n');
    }
    QDir().mkpath(targets + "/aria");
    QProcess aria;
    QElapsedTimer clock;
    clock.start();
    aria.start("aria2c", {"-i", list, "-j8", "-x1", "-d", targets + "/aria", "--quiet=true",
                          "--allow-overwrite=true", "--auto-file-renaming=false",
                          "--file-allocation=none"});
    if (!aria.waitForStarted(5000) || !aria.waitForFinished(600000)) {
        std::printf("aria2c did not run: no comparison\n");
        return allOk ? 0 : 1;
    }
    const double ariaSeconds = clock.nsecsElapsed() / 1e9;
    std::printf("aria2c -i list -j8 -x1: %.2f s\n", ariaSeconds);
    std::printf("Window / aria2c (first run): %.2fx (target 1.2x)\n", windowSeconds / ariaSeconds);
    return allOk ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser options;
    options.addHelpOption();
    options.addOption({"get", "quorvanta-get to compare with.", "path"});
    options.addOption({"size", "Size of each file in MiB (default 64).", "mb", "64"});
    options.addOption({"jobs", "Number of jobs (default 8).", "n", "8"});
    options.addOption({"parts", "Connections per job (default 10).", "n", "10"});
    options.addOption({"rate", "nginx limit_rate per connection (default none).", "rate"});
    options.addOption({"shot", "Save a picture of the window during the run.", "file"});
    options.addOption(
        {"shot-at", "Percent of all bytes at which to take it (default 40).", "p", "40"});
    options.addOption({"keep", "Keep the temporary folders."});
    options.addOption(
        {"panes", "Only the job list and the lower panes instead of the main window."});
    options.addOption(
        {"targets", "Folder for the downloaded files (default: the temp folder).", "dir"});
    options.addOption(
        {"view", "What the lower pane shows: 0 the picture, k the log of part k.", "k", "0"});
    options.addOption({"width", "Window width (default 1280).", "px", "1280"});
    options.addOption({"height", "Window height (default 800).", "px", "800"});
    options.addOption({"movies",
                       "Instead: this many small movies started together, against aria2c.", "n"});
    options.addOption({"movie-kb", "Size of each small movie in KB (default 48).", "kb", "48"});
    options.addOption(
        {"movie-parts", "Connections a movie job, comma separated (default 1).", "list", "1"});
    options.process(app);

    const qint64 size = options.value("size").toLongLong() << 20;
    const int jobs = std::clamp(options.value("jobs").toInt(), 1, 8);
    const int parts = std::clamp(options.value("parts").toInt(), 1, 10);
    const QString base = QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath();
    const QString work =
        base + QStringLiteral("/qv-bench-manager-%1").arg(QCoreApplication::applicationPid());
    // The served files sit in memory; the downloads go where a user's would, on disk, unless
    // --targets says otherwise.
    const QString targets =
        (options.isSet("targets") ? options.value("targets") : QDir::tempPath()) +
        QStringLiteral("/qv-bench-manager-%1").arg(QCoreApplication::applicationPid());
    QDir().mkpath(work + "/www");
    QDir().mkpath(targets + "/gui");
    QDir().mkpath(targets + "/cli");
    qputenv("XDG_DATA_HOME", (work + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (work + "/config").toUtf8());
    InitGlobals();

    if (options.isSet("movies")) {
        QList<int> partsList;
        for (const QString& p : options.value("movie-parts").split(','))
            partsList << std::clamp(p.toInt(), 1, 10);
        const int code = RunCollection(work, targets, std::max(1, options.value("movies").toInt()),
                                       std::max(1, options.value("movie-kb").toInt()), partsList);
        if (!options.isSet("keep")) {
            QDir(work).removeRecursively();
            QDir(targets).removeRecursively();
        }
        return code;
    }
    std::printf("Preparing %d files of %lld MiB in %s ...\n", jobs, size >> 20, qPrintable(work));
    for (int i = 1; i <= jobs; ++i) {
        QFile f(work + QStringLiteral("/www/movie%1.swf").arg(i));
        f.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qint64 done = 0; done < size; done += block.size()) {
            QRandomGenerator gen(static_cast<quint32>(i * 7919 + done / block.size()));
            gen.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
            f.write(block.constData(), std::min<qint64>(block.size(), size - done));
        }
    }
    Nginx nginx(work + "/nginx", work + "/www", options.value("rate"));
    if (!nginx.ok) {
        std::fprintf(stderr, "nginx did not start\n");
        return 2;
    }

    ClearJobs();
    InitJobLog();
    Settings = SettingsRecord();
    // The program's main window (its now-downloading view), or with --panes only the job list and
    // the lower panes in a plain window.
    std::unique_ptr<QMainWindow> owner;
    clsJobManager* manager = nullptr;
    NowDownView* list = nullptr;
    if (!options.isSet("panes")) {
        auto* main = new frmMain;
        owner.reset(main);
        main->Load();
        main->Categories()->mirror()->Select("NowDownLoad");
        manager = main->Manager();
    } else {
        owner = std::make_unique<QMainWindow>();
        owner->setWindowTitle("Quorvanta");
        manager = new clsJobManager(owner.get());
        auto* split = new QSplitter(Qt::Vertical);
        split->addWidget(new NowDownView(manager));
        split->addWidget(new DownInfoPane(manager));
        split->setSizes({330, 420});
        owner->setCentralWidget(split);
        auto* panel1 = new QLabel(clsJobManager::StatebarText());
        auto* panel2 = new QLabel;
        owner->statusBar()->addWidget(panel1, 1);
        owner->statusBar()->addPermanentWidget(panel2);
        QObject::connect(manager, &clsJobManager::TransferRate, panel2,
                         [panel2](qint64 rate, int busy) {
                             panel2->setText(QStringLiteral("%1 running   %2/s")
                                                 .arg(busy)
                                                 .arg(QLocale().formattedDataSize(
                                                     rate, 1, QLocale::DataSizeTraditionalFormat)));
                         });
    }
    list = owner->findChild<NowDownView*>("lvNowDown");
    Settings.Maxjobs = 8;
    Settings.PopMessage = 0;
    QMainWindow& window = *owner;
    window.resize(options.value("width").toInt(), options.value("height").toInt());
    window.show();

    // Timer lateness: a 20 ms timer, the longest gap beyond its interval.
    QElapsedTimer tickClock;
    qint64 worstLate = 0, lastTick = 0, worstAt = 0, worstBytes = 0, worstCpu = 0, lastCpu = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = tickClock.elapsed();
        const qint64 cpu = ThreadCpuMs();
        if (now - lastTick - 20 > worstLate) {
            worstCpu = cpu - lastCpu;
            worstLate = now - lastTick - 20;
            worstAt = now;
            worstBytes = manager->TotalReceived();
        }
        lastTick = now;
        lastCpu = cpu;
    });

    int done = 0;
    QEventLoop loop;
    QObject::connect(manager, &clsJobManager::JobCompleted, [&](int) {
        if (++done == jobs) loop.quit();
    });
    QObject::connect(manager, &clsJobManager::JobStatesChanged, [&] {
        for (int j = 1; j <= JobCount; ++j)
            if (Jobs[static_cast<size_t>(j)].State == StateError) loop.quit();
    });
    bool shot = options.value("shot").isEmpty();
    const qint64 shotAt = jobs * size * options.value("shot-at").toInt() / 100;
    QTimer shooter;
    shooter.setInterval(50);
    QObject::connect(&shooter, &QTimer::timeout, [&] {
        if (shot || manager->TotalReceived() < shotAt) return;
        shot = true;
        // A moment later, when the gathered redraws have reached the screen.
        QTimer::singleShot(300, &window, [&] {
            window.grab().save(options.value("shot"));
            std::printf("Picture of the window saved to %s\n", qPrintable(options.value("shot")));
        });
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(600000);

    std::printf("Window: %d jobs x %d connections ...\n", jobs, parts);
    QElapsedTimer clock;
    clock.start();
    tickClock.start();
    lastCpu = ThreadCpuMs();
    probe.start();
    shooter.start();
    for (int i = 1; i <= jobs; ++i) {
        JobRecord job;
        job.ClassKey = "101k";
        job.State = StateWaiting;
        job.Url = nginx.Url(QStringLiteral("movie%1.swf").arg(i));
        job.FileName = QStringLiteral("movie%1.swf").arg(i);
        job.LocalFile = targets + "/gui/" + job.FileName;
        job.Parts = static_cast<int16_t>(parts);
        job.IsNew = VbTrue;
        job.UserAgent = Settings.Useragent;
        const int j = AddJob(job);
        manager->AddToNowDownList(j);
        if (i == 1 && !qEnvironmentVariableIsSet("QV_BENCH_NOPIC")) {
            list->setCurrentItem(list->Row(j));
            manager->SetSelectedJobs({j});
            manager->ChooseJob(j);
            if (const int view = options.value("view").toInt(); view > 0) {
                QTimer::singleShot(300, manager, [manager, view] {
                    manager->ChooseNode(QString::number(view) + "Jet");
                });
            }
        }
    }
    loop.exec();
    const double guiSeconds = clock.nsecsElapsed() / 1e9;
    probe.stop();
    shooter.stop();
    bool guiOk = done == jobs;
    for (int i = 1; i <= jobs && guiOk; ++i)
        guiOk = SameFile(work + QStringLiteral("/www/movie%1.swf").arg(i),
                         targets + QStringLiteral("/gui/movie%1.swf").arg(i));
    window.hide();

    // The command-line tool, one file after the other.
    const QString get = FindGet(options.value("get"));
    double cliSeconds = 0;
    bool cliOk = false;
    if (get.isEmpty() || !QFile::exists(get)) {
        std::printf("quorvanta-get not found (give --get PATH): no comparison\n");
    } else {
        std::printf("quorvanta-get: %d files one after the other ...\n", jobs);
        cliOk = true;
        QElapsedTimer cliClock;
        cliClock.start();
        for (int i = 1; i <= jobs && cliOk; ++i) {
            QProcess tool;
            tool.setWorkingDirectory(targets + "/cli");
            tool.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
            tool.start(get, {"--parts", QString::number(parts), "--dir", targets + "/cli",
                             nginx.Url(QStringLiteral("movie%1.swf").arg(i))});
            cliOk = tool.waitForFinished(600000) && tool.exitCode() == 0;
        }
        cliSeconds = cliClock.nsecsElapsed() / 1e9;
        for (int i = 1; i <= jobs && cliOk; ++i)
            cliOk = SameFile(work + QStringLiteral("/www/movie%1.swf").arg(i),
                             targets + QStringLiteral("/cli/movie%1.swf").arg(i));
    }

    const double total = static_cast<double>(jobs) * size / (1 << 20);
    std::printf("\n%-34s %10s %12s %8s\n", "run", "seconds", "MiB/s", "files");
    std::printf("%-34s %10.2f %12.1f %8s\n", "window, all jobs at once", guiSeconds,
                total / guiSeconds, guiOk ? "ok" : "WRONG");
    if (cliSeconds > 0)
        std::printf("%-34s %10.2f %12.1f %8s\n", "quorvanta-get, one after another", cliSeconds,
                    total / cliSeconds, cliOk ? "ok" : "WRONG");
    std::printf("\nlongest timer delay during the window's run: %lld ms (target <= 100 ms): %s\n",
                worstLate, worstLate <= 100 ? "met" : "MISSED");
    std::printf(
        "  (it ended %.2f s into the run, with %lld MiB received; this thread ran %lld ms "
        "of it)\n",
        worstAt / 1000.0, worstBytes >> 20, worstCpu);
    if (cliSeconds > 0) {
        const double ratio = (total / guiSeconds) / (total / cliSeconds);
        std::printf("throughput window / quorvanta-get: %.2f (target >= 0.90): %s\n", ratio,
                    ratio >= 0.9 ? "met" : "MISSED");
    }
    if (!options.isSet("keep")) {
        QDir(work).removeRecursively();
        QDir(targets).removeRecursively();
    }
    return guiOk && (cliSeconds == 0 || cliOk) ? 0 : 1;
}
