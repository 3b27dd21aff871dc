#include "store/JobNamesJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <vector>

#include "store/JobTable.h"

namespace {

QString PathOf(const QString& dbPath) {
    const QFileInfo db(dbPath);
    return db.dir().filePath(db.completeBaseName() + QStringLiteral(".qvn"));
}

// The files set aside, oldest first, with their numbers.
std::vector<std::pair<int64_t, QString>> SetAsideFiles(const QString& journal) {
    const QFileInfo info(journal);
    std::vector<std::pair<int64_t, QString>> out;
    for (const QString& name : info.dir().entryList({info.fileName() + QStringLiteral(".*")},
                                                    QDir::Files | QDir::Hidden)) {
        bool ok = false;
        const int64_t n = name.mid(info.fileName().size() + 1).toLongLong(&ok);
        if (ok && n > 0) out.emplace_back(n, info.dir().filePath(name));
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

namespace JobNamesJournal {

bool Append(const QString& dbPath, int index, const QString& url, const QString& localFile) {
    const QByteArray line = QByteArray::number(index) + '\t' + url.toUtf8().toPercentEncoding() +
                            '\t' + localFile.toUtf8().toPercentEncoding() + '\n';
    const int fd = ::open(QFile::encodeName(PathOf(dbPath)).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // One write of a short line: a kill leaves it whole or not at all.
    ssize_t n;
    do {
        n = ::write(fd, line.constData(), static_cast<size_t>(line.size()));
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    return n == line.size();
}

int64_t SetAside(const QString& dbPath) {
    const QString journal = PathOf(dbPath);
    if (!QFile::exists(journal)) return 0;
    // Numbers grow across runs too: lines left by an earlier run are older.
    static int64_t last = 0;
    last = std::max<int64_t>(last + 1, QDateTime::currentMSecsSinceEpoch() * 1000);
    const QString aside = journal + QLatin1Char('.') + QString::number(last);
    if (::rename(QFile::encodeName(journal).constData(), QFile::encodeName(aside).constData()) != 0)
        return 0;
    return last;
}

void DropUpTo(const QString& dbPath, int64_t number) {
    if (number <= 0) return;
    for (const auto& [n, file] : SetAsideFiles(PathOf(dbPath)))
        if (n <= number) QFile::remove(file);
}

int ApplyTo(const QString& dbPath) {
    const QString journal = PathOf(dbPath);
    QStringList files;
    for (const auto& entry : SetAsideFiles(journal)) files << entry.second;
    files << journal;
    int taken = 0;
    for (const QString& path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() != 3) continue;  // a line cut by a kill
            bool ok = false;
            const int j = fields[0].toInt(&ok);
            if (!ok || j < 1 || j > JobCount) continue;
            JobRecord& job = Jobs[static_cast<size_t>(j)];
            const QString url = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[1]));
            QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[2]));
            // A download that finished before the kill has its final name already.
            if (!QFile::exists(name) && name.endsWith(QLatin1String("!qv")) &&
                QFile::exists(name.chopped(3)))
                name.chop(3);
            if (job.Url != url || job.State == StateComplete || job.State == StateFree ||
                name == job.LocalFile || !QFile::exists(name) ||
                (job.IsNew == 0 && QFile::exists(job.LocalFile)))
                continue;
            job.LocalFile = name;
            ++taken;
        }
    }
    return taken;
}

}  // namespace JobNamesJournal
