// Saves and loads a job database of 32767 jobs with realistic strings and prints the times and
// the file size, then the part of a save the window waits for while the program runs (the
// snapshot taken on the main thread; the bytes and the writes go to the saver's worker).
// Run: bench_store [rounds] (default 5; the best round of each is reported too).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "store/CategoryTree.h"
#include "store/Globals.h"
#include "store/JobDb.h"
#include "store/JobDbFormat.h"
#include "store/JobDbSaver.h"
#include "store/JobTable.h"
#include "store/VbDate.h"

namespace {

const char* const kHosts[] = {"www.flashgames.example.com", "cartoons.example.net",
                              "media.example.org", "swf.example.co.uk", "mtv.example.com"};
const char* const kWords[] = {"intro", "banner", "game", "music_video", "cartoon",
                              "ad",    "logo",   "menu", "trailer",     "loader"};

JobRecord MakeJob(int i) {
    JobRecord r;
    const QString host = QString::fromLatin1(kHosts[i % 5]);
    const QString word = QString::fromLatin1(kWords[i % 10]);
    const QString name = QStringLiteral("%1_%2.swf").arg(word).arg(i);
    const QString categories[] = {"101k", "102k", "103k", "104k", "101k1"};
    r.ClassKey = categories[i % 5];
    r.State = (i % 7 == 0) ? 2 : 4;
    r.Referer = QStringLiteral("http://%1/pages/%2/index%3.html").arg(host, word).arg(i % 97);
    r.CanResume = -1;
    r.Comment = (i % 3 == 0) ? QStringLiteral("Found on %1 — überspielt, 第%2話").arg(host).arg(i)
                             : QString();
    r.LocalFile = QStringLiteral("/home/ann/mydown/Games/") + name;
    r.FileName = name;
    r.IsNew = 0;
    r.Spare = name;
    r.FileSize = 150000 + (i * 7919) % 4000000;
    r.Received = r.State == 4 ? r.FileSize : r.FileSize / 3;
    r.Parts = static_cast<int16_t>(1 + i % 10);
    r.Url = QStringLiteral("http://%1/flash/%2/%3").arg(host, word, name);
    r.Host = host;
    r.Path = QStringLiteral("/flash/%1/%2").arg(word, name);
    r.Port = 80;
    r.UseProxy = (i % 11 == 0) ? -1 : 0;
    r.ProxyHost = r.UseProxy ? QStringLiteral("proxy.example.com") : QString();
    r.ProxyPort = r.UseProxy ? 8080 : 0;
    r.UserAgent = QStringLiteral("Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)");
    for (int k = 1; k <= r.Parts; ++k) {
        r.Segments[k].StartPos = (r.FileSize / r.Parts) * (k - 1);
        r.Segments[k].EndPos = (r.FileSize / r.Parts) * k;
        r.Segments[k].CurPos = r.Segments[k].EndPos;
    }
    r.CreateTime = 46000.25 + i / 1000.0;
    r.CompleteTime = r.CreateTime + 0.001;
    r.TimeElapsed = 0.0005;
    r.RunStart = r.CreateTime;
    r.RunTime = 0.0005;
    r.AvgSpeed = 51234.5f;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    InitGlobals();
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir dir(QStringLiteral("bench-jobdb-XXXXXX"));
    const QString path = dir.path() + QStringLiteral("/default.qvb");

    CategoryTree tree;
    AddFixedNodes(tree, true);
    tree.Add("101k", "101k1", "Old cartoons", "5", "6", DefaultDownDir + "Old cartoons/");
    ClearJobs();
    for (int i = 1; i <= kMaxJobs; ++i) AddJob(MakeJob(i));

    double bestSave = 1e9, bestLoad = 1e9, sumSave = 0, sumLoad = 0, encode = 1e9, parse = 1e9;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer t;
        t.start();
        if (!SaveJobDb(tree, path)) return 1;
        const double save = t.nsecsElapsed() / 1e6;

        CategoryTree loaded;
        t.restart();
        const JobDbLoadResult result = LoadJobDb(loaded, path);
        const double load = t.nsecsElapsed() / 1e6;
        if (!result.complete || JobCount != kMaxJobs) {
            std::fprintf(stderr, "load failed: %s\n", qPrintable(result.problem));
            return 1;
        }
        // Where the time goes: building the bytes alone, parsing them alone.
        t.restart();
        const QByteArray bytes = JobDbBytes(loaded);
        encode = std::min(encode, t.nsecsElapsed() / 1e6);
        t.restart();
        JobDbFormat::Reader reader(bytes);
        CategoryRecord category;
        while (reader.ReadCategory(category) && category.Key != QLatin1String("0")) {
        }
        JobRecord job;
        int parsed = 0;
        while (reader.ReadJob(job)) ++parsed;
        parse = std::min(parse, t.nsecsElapsed() / 1e6);
        if (parsed != kMaxJobs) return 1;
        bestSave = std::min(bestSave, save);
        bestLoad = std::min(bestLoad, load);
        sumSave += save;
        sumLoad += load;
    }
    std::printf("jobs: %d\nfile size: %lld bytes\n", static_cast<int>(JobCount),
                static_cast<long long>(QFileInfo(path).size()));
    std::printf("save: mean %.1f ms, best %.1f ms (target < 300 ms)\n", sumSave / rounds, bestSave);
    std::printf("load: mean %.1f ms, best %.1f ms (target < 300 ms)\n", sumLoad / rounds, bestLoad);
    std::printf("of which: building the bytes %.1f ms, parsing them %.1f ms (best)\n", encode,
                parse);

    // While the program runs: the main thread takes the snapshot and hands it on. Every other
    // save is asked for while the previous one is still being written, so the worst case (a
    // queued older snapshot replaced and freed) is measured too.
    double worstMain = 0, sumMain = 0, sumWrite = 0;
    int saves = 0, failed = 0;
    {
        JobDbSaver saver(&tree, path);
        QObject::connect(&saver, &JobDbSaver::Saved, [&](bool ok) { failed += ok ? 0 : 1; });
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer t;
            t.start();
            for (int k = 0; k < 3; ++k) {
                Jobs[1 + round * 3 + k].Received += 1;
                QElapsedTimer m;
                m.start();
                saver.SaveSoon();
                const double ms = m.nsecsElapsed() / 1e6;
                worstMain = std::max(worstMain, ms);
                sumMain += ms;
                ++saves;
            }
            saver.WaitForWrites();
            sumWrite += t.nsecsElapsed() / 1e6;
        }
        QCoreApplication::processEvents();
        const QByteArray written = JobDbBytes(tree);
        QFile file(path);
        if (failed || !file.open(QIODevice::ReadOnly) || file.readAll() != written) {
            std::fprintf(stderr, "the background save did not write the last snapshot\n");
            return 1;
        }
    }
    std::printf("save while running, main thread: mean %.1f ms, worst %.1f ms (target < 50 ms)%s\n",
                sumMain / saves, worstMain, worstMain < 50 ? "" : "  ** over target **");
    std::printf("save while running, until written: mean %.1f ms\n", sumWrite / rounds);
    return 0;
}
