#include "ui/MovieFilesCommand.h"

#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <QTreeWidget>

#include "manager/DownInfoPane.h"
#include "net/MovieFilesGetter.h"
#include "player/SwfNames.h"
#include "store/Globals.h"
#include "store/JobTable.h"
#include "store/MovieFilesFolder.h"
#include "store/Settings.h"
#include "store/UserMessage.h"
#include "widgets/Icons.h"

namespace MovieFilesCommand {

bool Applies(int job) {
    if (job < 1 || job > JobCount) return false;
    const JobRecord& record = Jobs[job];
    const QFileInfo file(record.LocalFile);
    return record.State == StateComplete &&
           file.suffix().compare(QLatin1String("swf"), Qt::CaseInsensitive) == 0 && file.isFile();
}

qint64 SizeLimit() {
    return qint64(std::max<int32_t>(64, Settings.MovieFileLimitMb)) * 1024 * 1024;
}

MovieFilesGetter* Start(QObject* parent, int job, std::function<void(const QString&)> line,
                        std::function<void(const QString&, const QStringList&)> finished) {
    if (!Applies(job)) return nullptr;
    auto* getter = new MovieFilesGetter(Jobs[job], &SwfNames::FindInFile,
                                        Settings.MovieOtherSites != 0, SizeLimit(), parent);
    auto lines = std::make_shared<QStringList>();
    QObject::connect(getter, &MovieFilesGetter::Line, getter, [lines, line](const QString& text) {
        lines->append(text);
        if (line) line(text);
    });
    QObject::connect(getter, &MovieFilesGetter::Finished, getter,
                     [getter, lines, finished](const QString& summary) {
                         getter->deleteLater();
                         if (finished) finished(summary, *lines);
                     });
    getter->Start();
    return getter;
}

void Run(QObject* parent, int job, QLabel* status, QTreeWidget* info, std::function<int()> chosen) {
    if (!Applies(job)) return;
    const QString name = Jobs[job].FileName;
    QPointer<QLabel> label(status);
    QPointer<QTreeWidget> details(info);
    Start(
        parent, job,
        [label](const QString& line) {
            if (label) label->setText(line);
        },
        [label, details, chosen, job, name](const QString& summary, const QStringList& lines) {
            if (label) label->setText(name + QStringLiteral(": ") + summary);
            if (details && chosen && chosen() == job) {
                ShowDoneJobInfo(details, job);
                AddKeptRow(details, job);
            }
            QStringList shown = lines.mid(0, 40);
            if (lines.size() > shown.size())
                shown << QStringLiteral("... and %1 more").arg(lines.size() - shown.size());
            UserMessage::Show(UserMessage::Information, QStringLiteral("Get Movie's Files"),
                              name + QStringLiteral(": ") + summary + QStringLiteral("\n\n") +
                                  shown.join(QLatin1Char('\n')));
        });
}

void AddKeptRow(QTreeWidget* info, int job) {
    if (!info || job < 1 || job > JobCount) return;
    if (QFileInfo(Jobs[job].LocalFile)
            .suffix()
            .compare(QLatin1String("swf"), Qt::CaseInsensitive) != 0)
        return;
    auto* row = new QTreeWidgetItem(info);
    row->setIcon(0, Icons::Get("Info1"));
    row->setText(0, QStringLiteral("Files Kept"));
    row->setText(1, QString::number(MovieFilesFolder::CountKept(Jobs[job].LocalFile)));
}

}  // namespace MovieFilesCommand
