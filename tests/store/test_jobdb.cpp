// The job database file: exact bytes, load and save, damaged files, limits, atomic saves.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <limits>

#include "StoreTestSupport.h"
#include "common/TestEnv.h"
#include "store/CategoryTree.h"
#include "store/Globals.h"
#include "store/JobDb.h"
#include "store/JobDbFormat.h"
#include "store/JobNamesJournal.h"
#include "store/JobTable.h"
#include "store/JobValidators.h"

namespace {

// A job with every field set to a value of its own, including non-ASCII text, negative numbers,
// ports above 32767 and fractional dates.
JobRecord FullJob(const QString& classKey, int seed) {
    JobRecord r;
    r.ClassKey = classKey;
    r.State = 5;
    r.Referer = "http://example.com/page?id=" + QString::number(seed);
    r.CanResume = -1;
    r.Comment = QString::fromUtf8("Kommentar äöü 漫画 \xF0\x9F\x8E\xAC");
    r.LocalFile = "/home/ann/mydown/Zeichentrick ä/movie" + QString::number(seed) + ".swf!qv";
    r.FileName = "movie" + QString::number(seed) + ".swf";
    r.IsNew = -1;
    r.FileOpen = 0;
    r.FileNo = 0;
    r.Spare = "movie.swf";
    r.FileSize = 2000000000;
    r.Received = -7;
    r.Parts = 10;
    r.Url = "http://example.com:8080/a b/movie.swf";
    r.Host = "example.com";
    r.Path = "/a b/movie.swf";
    r.Port = 65535;
    r.UseProxy = -1;
    r.ProxyHost = "proxy.example";
    r.ProxyPort = 40000;
    r.UseLogin = -1;
    r.UserName = "ann";
    r.Password = "p=ss:wörd";
    r.UserAgent = "Mozilla/4.0 (Windows 95;US) Opera 3.60  [en]";
    for (int k = 1; k <= kMaxParts; ++k)
        r.Segments[k] = {k * 1000 + seed, k * 1000 + 500, k * 1000 + 999};
    r.CreateTime = 46000.5 + seed;
    r.CompleteTime = 46001.25;
    r.TimeElapsed = 0.0123;
    r.RunStart = -1.75;
    r.RunTime = 1e-9;
    r.AvgSpeed = 12345.5f;
    r.Reserved = 0;
    return r;
}

// The bytes of one job record, field by field in the file's order.
QByteArray JobBytes(const JobRecord& r) {
    ByteBuilder b;
    b.Str(r.ClassKey).I32(r.State).Str(r.Referer).I16(r.CanResume);
    b.Str(r.Comment).Str(r.LocalFile).Str(r.FileName);
    b.I16(r.IsNew).I16(r.FileOpen).I32(r.FileNo).Str(r.Spare);
    b.I32(r.FileSize).I32(r.Received).I16(r.Parts);
    b.Str(r.Url).Str(r.Host).Str(r.Path).U16(r.Port).I16(r.UseProxy);
    b.Str(r.ProxyHost).U16(r.ProxyPort).I16(r.UseLogin);
    b.Str(r.UserName).Str(r.Password).Str(r.UserAgent);
    for (int k = 1; k <= kMaxParts; ++k)
        b.I32(r.Segments[k].StartPos).I32(r.Segments[k].CurPos).I32(r.Segments[k].EndPos);
    b.F64(r.CreateTime).F64(r.CompleteTime).F64(r.TimeElapsed).F64(r.RunStart).F64(r.RunTime);
    b.F32(r.AvgSpeed).I32(r.Reserved);
    return b.bytes;
}

QByteArray CategoryBytes(const QString& parent, const QString& key, const QString& text,
                         const QString& folder) {
    return ByteBuilder().Str(parent).Str(key).Str(text).Str(folder).bytes;
}

const QByteArray kTerminator = QByteArray::fromHex("0100300100300300656e640300656e64");

class JobDbTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        ClearJobs();
        dir = TestEnv::NewDir("db");
        path = dir + "/default.qvb";
    }
    void TearDown() override { ClearJobs(); }

    // Downloaded > "101k" (blanks around text and folder) > "101k1" (non-ASCII), then "102k".
    void BuildNestedTree() {
        AddFixedNodes(tree, false);
        tree.Add(TreeKeys::Downloaded, "101k", "  Cartoon ", "5", "6", " /home/ann/Cartoon/  ");
        tree.Add("101k", "101k1", QString::fromUtf8("Zeichentrick ä 漫画"), "5", "6",
                 QString::fromUtf8("/home/ann/Zeichentrick ä/"));
        tree.Add(TreeKeys::Downloaded, "102k", "MTV", "5", "6", "/home/ann/MTV/");
    }

    QByteArray NestedTreeBytes() const {
        return CategoryBytes("Downloaded", "101k", "  Cartoon ", " /home/ann/Cartoon/  ") +
               CategoryBytes("101k", "101k1", QString::fromUtf8("Zeichentrick ä 漫画"),
                             QString::fromUtf8("/home/ann/Zeichentrick ä/")) +
               CategoryBytes("Downloaded", "102k", "MTV", "/home/ann/MTV/");
    }

    CategoryTree tree;
    QString dir;
    QString path;
};

}  // namespace

TEST_F(JobDbTest, EmptyTreeIsTheTerminatorAlone) {
    AddFixedNodes(tree, false);
    EXPECT_EQ(JobDbBytes(tree), kTerminator);
    ASSERT_TRUE(SaveJobDb(tree, path));
    EXPECT_EQ(TestEnv::ReadFile(path), kTerminator);

    CategoryTree loaded;
    const JobDbLoadResult result = LoadJobDb(loaded, path);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(JobCount, 0);
    EXPECT_EQ(JobDbBytes(loaded), kTerminator);
}

TEST_F(JobDbTest, JobRecordLayoutByteForByte) {
    // A record with every string empty is its 200 fixed bytes and 13 empty lengths.
    JobRecord empty;
    empty.ClassKey = "1k";
    empty.State = 3;
    empty.Port = 0xABCD;
    empty.AvgSpeed = 1.0f;
    QByteArray out;
    JobDbFormat::WriteJob(out, empty);
    ASSERT_EQ(out.size(), kJobRecordFixedBytes + 13 * 2 + 2);
    EXPECT_EQ(out.left(10).toHex(), "0200316b030000000000");
    // Port sits after ClassKey(4) State(4) Referer(2) CanResume(2) 3 strings(6) IsNew, FileOpen
    // (4) FileNo(4) Spare(2) FileSize, Received(8) Parts(2) Url, Host, Path(6).
    EXPECT_EQ(out.mid(44, 2).toHex(), "cdab");
    // AvgSpeed 1.0f, then the reserved zero: the last 8 bytes.
    EXPECT_EQ(out.right(8).toHex(), "0000803f00000000");

    const JobRecord full = FullJob("101k1", 7);
    QByteArray fullBytes;
    JobDbFormat::WriteJob(fullBytes, full);
    EXPECT_EQ(fullBytes, JobBytes(full));
    qsizetype strings = 0;
    for (const QString* s : {&full.ClassKey, &full.Referer, &full.Comment, &full.LocalFile,
                             &full.FileName, &full.Spare, &full.Url, &full.Host, &full.Path,
                             &full.ProxyHost, &full.UserName, &full.Password, &full.UserAgent})
        strings += 2 + s->toUtf8().size();
    EXPECT_EQ(fullBytes.size(), kJobRecordFixedBytes + strings);
}

TEST_F(JobDbTest, GoldenFileWithNestedCategoriesAndJobs) {
    BuildNestedTree();
    AddJob(FullJob("101k1", 1));
    JobRecord gone = FullJob("101k", 2);
    gone.ClassKey = TreeKeys::RecelyReally;
    AddJob(gone);
    JobRecord noKey = FullJob("", 3);
    AddJob(noKey);
    JobRecord recycled = FullJob(TreeKeys::Recely, 4);
    recycled.State = 4;
    AddJob(recycled);

    const QByteArray golden =
        NestedTreeBytes() + kTerminator + JobBytes(FullJob("101k1", 1)) + JobBytes(recycled);
    ASSERT_TRUE(SaveJobDb(tree, path));
    EXPECT_EQ(TestEnv::ReadFile(path), golden);
    // The first category record spelled out: "Downloaded", "101k", "  Cartoon ", folder.
    EXPECT_EQ(golden.left(20).toHex(),
              "0a00446f776e6c6f616465640400313031"
              "6b0a00");
}

TEST_F(JobDbTest, LoadTrimsCategoryTextsKeepsKeysAndClearsOpenFiles) {
    BuildNestedTree();
    JobRecord open = FullJob("101k1", 1);
    open.FileOpen = -1;
    open.FileNo = 12;
    AddJob(open);
    AddJob(FullJob("102k", 2));
    ASSERT_TRUE(SaveJobDb(tree, path));
    ClearJobs();

    CategoryTree loaded;
    MessageCatcher messages;
    const JobDbLoadResult result = LoadJobDb(loaded, path);
    EXPECT_TRUE(result.complete);
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_FALSE(QFile::exists(path + ".bad"));

    EXPECT_EQ(loaded.TopLevel(), QStringList{TreeKeys::Root});
    EXPECT_EQ(loaded.ChildrenOf(TreeKeys::Root),
              (QStringList{"NowSearch", "NowDownLoad", "Downloaded", "Recely"}));
    EXPECT_EQ(loaded.ChildrenOf(TreeKeys::Downloaded), (QStringList{"101k", "102k"}));
    EXPECT_EQ(loaded.ChildrenOf("101k"), QStringList{"101k1"});
    const TreeNode* cartoon = loaded.Find("101k");
    EXPECT_EQ(cartoon->Text, "Cartoon");
    EXPECT_EQ(cartoon->Tag, "/home/ann/Cartoon/");
    EXPECT_EQ(cartoon->Image, "5");
    EXPECT_EQ(cartoon->SelectedImage, "6");
    EXPECT_EQ(loaded.Find("101k1")->Text, QString::fromUtf8("Zeichentrick ä 漫画"));
    EXPECT_EQ(loaded.Find(TreeKeys::Recely)->Tag, DefaultDownDir);

    ASSERT_EQ(JobCount, 2);
    JobRecord expected = open;
    expected.FileOpen = 0;
    expected.FileNo = 0;
    EXPECT_EQ(Jobs[1], expected);
    EXPECT_EQ(Jobs[2], FullJob("102k", 2));
}

TEST_F(JobDbTest, LoadThenSaveReproducesTheFile) {
    AddFixedNodes(tree, false);
    tree.Add(TreeKeys::Downloaded, "101k", "Cartoon", "5", "6", "/home/ann/Cartoon/");
    tree.Add("101k", "101k1", QString::fromUtf8("漫画"), "5", "6", "/home/ann/漫画/");
    tree.Add("101k1", "101k11", "Deep", "5", "6", "/d/");
    tree.Add(TreeKeys::Downloaded, "102k", "MTV", "5", "6", "/m/");
    for (int i = 1; i <= 5; ++i) AddJob(FullJob(i % 2 ? "101k11" : "Recely", i));
    const QByteArray file = JobDbBytes(tree);
    ASSERT_TRUE(TestEnv::WriteFile(path, file));
    // A file others could read, as an older version left it: rewritten for its owner alone.
    ASSERT_EQ(::chmod(QFile::encodeName(path), 0644), 0);

    CategoryTree loaded;
    ASSERT_TRUE(LoadJobDb(loaded, path).complete);
    ASSERT_TRUE(SaveJobDb(loaded, path));
    EXPECT_EQ(TestEnv::ReadFile(path), file);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// The validators of an unfinished job come back with the database under the job's exact path; a
// path the side file cannot hold gets none, and never another file's.
TEST_F(JobDbTest, ValidatorsComeBackForTheJobsOwnPathOnly) {
    struct Case {
        QString file;
        bool kept;
    };
    const QList<Case> cases = {{"/home/ann/mydown/a.swf", true},
                               {"/home/ann/mydown/b.swf ", true},
                               {" /home/ann/mydown/c.swf", true},
                               {"/home/ann/mydown/d.swf\r", false},
                               {"/home/ann/mydown/e\t.swf", false}};
    AddFixedNodes(tree, false);
    JobValidators::Clear();
    for (const Case& c : cases) {
        JobRecord job = FullJob(TreeKeys::Downloaded, 1);
        job.LocalFile = c.file;
        AddJob(job);
        JobValidators::Set(c.file, {"\"e-" + c.file.trimmed() + "\"", ""});
    }
    // The plain names of the last ones belong to other jobs, which have no validators.
    for (const char* other : {"/home/ann/mydown/d.swf", "/home/ann/mydown/d.swf "}) {
        JobRecord job = FullJob(TreeKeys::Downloaded, 2);
        job.LocalFile = other;
        AddJob(job);
    }
    ASSERT_TRUE(SaveJobDb(tree, path));
    JobValidators::Clear();
    CategoryTree loaded;
    ASSERT_TRUE(LoadJobDb(loaded, path).complete);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        EXPECT_EQ(JobValidators::Get(c.file).ETag,
                  c.kept ? "\"e-" + c.file.trimmed() + "\"" : QString());
    }
    EXPECT_TRUE(JobValidators::Get("/home/ann/mydown/d.swf").IsEmpty());
    EXPECT_TRUE(JobValidators::Get("/home/ann/mydown/d.swf ").IsEmpty());
    JobValidators::Clear();
}

TEST_F(JobDbTest, FileCutAtEveryOffsetLoadsWhatItCanAndReports) {
    BuildNestedTree();
    AddJob(FullJob("101k1", 1));
    AddJob(FullJob("102k", 2));
    const QByteArray file = JobDbBytes(tree);
    const qsizetype jobsStart = NestedTreeBytes().size() + kTerminator.size();
    const qsizetype firstJobEnd = jobsStart + JobBytes(FullJob("101k1", 1)).size();
    ClearJobs();

    for (qsizetype cut = 0; cut < file.size(); ++cut) {
        SCOPED_TRACE(cut);
        const QByteArray part = file.left(cut);
        ASSERT_TRUE(TestEnv::WriteFile(path, part));
        QFile::remove(path + ".bad");
        CategoryTree loaded;
        MessageCatcher messages;
        const JobDbLoadResult result = LoadJobDb(loaded, path);
        const bool atBoundary = cut == jobsStart || cut == firstJobEnd;
        EXPECT_EQ(result.complete, atBoundary);
        EXPECT_EQ(messages.texts.size(), atBoundary ? 0 : 1);
        EXPECT_EQ(JobCount, cut >= firstJobEnd ? 1 : 0);
        if (!atBoundary) {
            EXPECT_EQ(result.keptAs, path + ".bad");
            EXPECT_EQ(TestEnv::ReadFile(path + ".bad"), part);
        }
        // The fixed nodes are always there; categories read before the cut are kept.
        EXPECT_TRUE(loaded.Exists(TreeKeys::Downloaded));
        EXPECT_TRUE(loaded.Exists(TreeKeys::Recely));
        if (cut >= jobsStart) {
            EXPECT_EQ(loaded.Count(), 5 + 3);
        }
    }
}

TEST_F(JobDbTest, UnknownParentOrLengthPastTheEndIsReported) {
    // A folder name with "%" signs must come out of the message as it is.
    dir = TestEnv::NewDir("p%1%3%4");
    path = dir + "/default.qvb";
    const QByteArray orphan = CategoryBytes("nowhere", "9k", "Lost", "/l/") +
                              CategoryBytes("Downloaded", "101k", "Kept", "/k/") + kTerminator;
    ASSERT_TRUE(TestEnv::WriteFile(path, orphan));
    CategoryTree loaded;
    MessageCatcher messages;
    JobDbLoadResult result = LoadJobDb(loaded, path);
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts.value(0).contains(path + ".bad"))
        << messages.texts.value(0).toStdString();
    EXPECT_FALSE(loaded.Exists("9k"));
    EXPECT_TRUE(loaded.Exists("101k"));
    EXPECT_EQ(TestEnv::ReadFile(path + ".bad"), orphan);

    // A string length that runs past the end of the file.
    QByteArray broken = kTerminator;
    broken += QByteArray::fromHex("ff7f") + "abc";
    ASSERT_TRUE(TestEnv::WriteFile(path, broken));
    messages.texts.clear();
    result = LoadJobDb(loaded, path);
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(JobCount, 0);
    EXPECT_EQ(messages.texts.size(), 1);
}

TEST_F(JobDbTest, MoreJobsThanTheTableHoldsIsReportedOnce) {
    AddFixedNodes(tree, false);
    JobRecord small;
    small.ClassKey = "Downloaded";
    QByteArray file = JobDbBytes(tree);
    QByteArray one;
    JobDbFormat::WriteJob(one, small);
    file.reserve(file.size() + one.size() * (kMaxJobs + 2));
    for (int i = 0; i < kMaxJobs + 2; ++i) file += one;
    ASSERT_TRUE(TestEnv::WriteFile(path, file));
    MessageCatcher messages;
    const JobDbLoadResult result = LoadJobDb(tree, path);
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(JobCount, kMaxJobs);
    EXPECT_EQ(messages.texts.size(), 1) << messages.texts.join("\n").toStdString();
}

TEST_F(JobDbTest, StringsOverTheLengthLimitAreCutAtACharacterBoundary) {
    const QString fits(65535, u'a');
    const QString twoByteAcross = QString(65534, u'a') + QString::fromUtf8("é") + "tail";
    const QString fourByteAcross =
        QString(65533, u'a') + QString::fromUtf8("\xF0\x9F\x8E\xAC") + "tail";
    struct Case {
        QString text;
        QString stored;
    } cases[] = {{fits, fits},
                 {fits + "b", fits},
                 {twoByteAcross, QString(65534, u'a')},
                 {fourByteAcross, QString(65533, u'a')}};
    for (const Case& c : cases) {
        QByteArray out;
        JobDbFormat::WriteString(out, c.text);
        const quint16 n = static_cast<quint8>(out[0]) | static_cast<quint8>(out[1]) << 8;
        EXPECT_EQ(n, out.size() - 2);
        EXPECT_EQ(out.mid(2), c.stored.toUtf8());
        EXPECT_TRUE(QString::fromUtf8(out.mid(2)).toUtf8() == out.mid(2));  // valid UTF-8
    }

    // Through a whole save and load.
    AddFixedNodes(tree, false);
    JobRecord job = FullJob("Downloaded", 1);
    job.Url = twoByteAcross;
    job.Comment = QString(70000, QChar(0x6F2B));  // three bytes each
    AddJob(job);
    ASSERT_TRUE(SaveJobDb(tree, path));
    CategoryTree loaded;
    ASSERT_TRUE(LoadJobDb(loaded, path).complete);
    ASSERT_EQ(JobCount, 1);
    EXPECT_EQ(Jobs[1].Url, QString(65534, u'a'));
    EXPECT_EQ(Jobs[1].Comment, QString(21845, QChar(0x6F2B)));
    EXPECT_EQ(Jobs[1].UserAgent, job.UserAgent);
}

TEST_F(JobDbTest, AddingJob32768IsRefused) {
    JobRecord job;
    job.ClassKey = "101k";
    for (int i = 1; i <= kMaxJobs; ++i) ASSERT_EQ(AddJob(job), i);
    MessageCatcher messages;
    EXPECT_EQ(AddJob(job), 0);
    EXPECT_EQ(JobCount, kMaxJobs);
    EXPECT_EQ(Jobs.size(), static_cast<size_t>(kMaxJobs) + 1);
    EXPECT_EQ(messages.texts.size(), 1);
}

TEST_F(JobDbTest, FailedSaveLeavesThePreviousFileWhole) {
    BuildNestedTree();
    AddJob(FullJob("101k1", 1));
    ASSERT_TRUE(SaveJobDb(tree, path));
    const QByteArray before = TestEnv::ReadFile(path);
    AddJob(FullJob("102k", 2));

    {
        LockedFolder locked(dir);
        if (!locked.ok()) GTEST_SKIP() << "cannot make a folder refuse files here";
        MessageCatcher messages;
        EXPECT_FALSE(SaveJobDb(tree, path));
        EXPECT_EQ(messages.texts.size(), 1);
    }
    EXPECT_EQ(TestEnv::ReadFile(path), before);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"default.qvb"});

    // A write that fails half-way (file size limit) also leaves the old file and no leftovers.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &small);
    bool saved = true;
    {
        MessageCatcher messages;
        saved = SaveJobDb(tree, path);
        EXPECT_EQ(messages.texts.size(), 1);
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(TestEnv::ReadFile(path), before);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"default.qvb"});

    // And the next save that can write does.
    ASSERT_TRUE(SaveJobDb(tree, path));
    EXPECT_EQ(TestEnv::ReadFile(path), JobDbBytes(tree));
}

TEST_F(JobDbTest, DefaultTreeOnFirstStart) {
    QDir(DefaultDownDir).removeRecursively();
    BuildDefaultTree(tree, path);
    EXPECT_TRUE(QFileInfo(DefaultDownDir).isDir());
    QByteArray expected;
    const char* names[][2] = {
        {"101k", "Cartoon"}, {"102k", "MTV"}, {"103k", "Games"}, {"104k", "Ad"}};
    for (auto& n : names) expected += CategoryBytes("Downloaded", n[0], n[1], DefaultDownDir);
    expected += kTerminator;
    EXPECT_EQ(TestEnv::ReadFile(path), expected);
    EXPECT_EQ(tree.ChildrenOf(TreeKeys::Root),
              (QStringList{"NowSearch", "NowDownLoad", "Downloaded", "Recely"}));
    for (const QString& key : tree.Descendants(TreeKeys::Root))
        EXPECT_EQ(tree.Find(key)->Tag, DefaultDownDir) << key.toStdString();

    AddHistoryNodes(tree);
    EXPECT_EQ(tree.TopLevel(), (QStringList{"Quorvanta", "History"}));
    EXPECT_EQ(tree.ChildrenOf("History"), (QStringList{"Today", "This Week", "This Month", "All"}));
    EXPECT_EQ(tree.Find("Today")->Image, "History1");
    // History nodes are never saved.
    EXPECT_EQ(JobDbBytes(tree), expected);
}

TEST_F(JobDbTest, DeeplyNestedCategoriesAreMovedUpOnceAndTheFileIsKept) {
    // A chain of categories, each the child of the one before: far deeper than anyone builds by
    // hand, as a damaged or hand-made file may hold.
    const int depth = 60000;
    QByteArray file;
    QString parent = TreeKeys::Downloaded;
    for (int i = 1; i <= depth; ++i) {
        const QString key = QString::number(i) + "k";
        file += CategoryBytes(parent, key, "c", "/f/");
        parent = key;
    }
    file += kTerminator;
    ASSERT_TRUE(TestEnv::WriteFile(path, file));
    CategoryTree loaded;
    MessageCatcher messages;
    const JobDbLoadResult result = LoadJobDb(loaded, path);
    EXPECT_TRUE(result.complete);
    const int limit = CategoryTree::kMaxCategoryDepth;
    EXPECT_EQ(result.movedUp, depth - limit);
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(TestEnv::ReadFile(path + ".bad"), file);
    // Every key is kept; the chain stops at the limit and the rest hangs below its last link
    // but one.
    EXPECT_EQ(loaded.Count(), 5 + depth);
    EXPECT_EQ(loaded.DepthBelow(QString::number(limit) + "k", TreeKeys::Downloaded), limit);
    EXPECT_EQ(loaded.DepthBelow(QString::number(depth) + "k", TreeKeys::Downloaded), limit);
    EXPECT_EQ(loaded.ChildrenOf(QString::number(limit - 1) + "k").size(), depth - limit + 1);

    // Saved and loaded again, the moved tree is a plain one.
    ASSERT_TRUE(SaveJobDb(loaded, path));
    CategoryTree again;
    EXPECT_EQ(LoadJobDb(again, path).movedUp, 0);
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(JobDbBytes(again), JobDbBytes(loaded));
}

// The names journal after a kill: a line renames its job only while the job is still that
// address, unfinished, and the named file (or its final name) is on disk, unless the record's
// own file of a started job is still there. Lines set aside by a save in flight count too.
TEST_F(JobDbTest, NamesJournalRenamesOnlyJobsThatStillNeedTheName) {
    const QString url = "http://127.0.0.1:9/a.swf";
    const QString own = dir + "/a.swf!qv";
    const QString made = dir + "/a0.swf!qv";
    const QString finished = dir + "/a1.swf";
    const struct {
        const char* what;
        int state;
        bool isNew;
        QString journalUrl, journalName;
        bool ownExists;
        QString expected;
    } cases[] = {
        {"a new job's file made before the kill", StateRunning, true, url, made, false, made},
        {"finished and renamed before the kill", StateRunning, true, url, finished + "!qv", false,
         finished},
        {"the record's own file is still there", StateRunning, false, url, made, true, own},
        {"another address in the same record", StateRunning, true, url + "?x", made, false, own},
        {"a complete job keeps its name", StateComplete, true, url, made, false, own},
        {"a name whose file is not there", StatePaused, true, url, dir + "/gone.swf", false, own},
    };
    ASSERT_TRUE(TestEnv::WriteFile(made, "x") && TestEnv::WriteFile(finished, "x"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearJobs();
        QFile::remove(own);
        if (c.ownExists) {
            ASSERT_TRUE(TestEnv::WriteFile(own, "x"));
        }
        JobRecord job;
        job.Url = url;
        job.LocalFile = own;
        job.State = c.state;
        job.IsNew = c.isNew ? VbTrue : VbFalse;
        ASSERT_EQ(AddJob(job), 1);
        ASSERT_TRUE(JobNamesJournal::Append(path, 1, c.journalUrl, c.journalName));
        // Set aside by a save that did not reach the disk: still taken.
        ASSERT_GT(JobNamesJournal::SetAside(path), 0);
        EXPECT_EQ(JobNamesJournal::ApplyTo(path), c.expected == own ? 0 : 1);
        EXPECT_EQ(Jobs[1].LocalFile, c.expected);
        JobNamesJournal::DropUpTo(path, std::numeric_limits<int64_t>::max());
    }
}
