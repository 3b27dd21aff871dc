#pragma once
// "Get Movie's Files" on a finished movie, and the files kept beside a movie as the job's details
// pane shows them. The reading of the movie is the player's, the fetching the engine's; this
// joins them.

#include <QString>
#include <QStringList>
#include <functional>

class MovieFilesGetter;
class QLabel;
class QObject;
class QTreeWidget;

namespace MovieFilesCommand {

// A finished job whose file is an existing ".swf" movie.
bool Applies(int job);
// The largest file a movie loads that is kept, from the options.
qint64 SizeLimit();
// Gets the files the job's movie names; `line` hears of each file, `finished` gets the summary
// and every line. The getter deletes itself after `finished`.
MovieFilesGetter* Start(
    QObject* parent, int job, std::function<void(const QString&)> line,
    std::function<void(const QString& summary, const QStringList& lines)> finished);
// The command of the window: the file going on in `status`, the job's details refreshed when
// it is still the chosen job, and a message with the summary and every file at the end.
void Run(QObject* parent, int job, QLabel* status, QTreeWidget* info, std::function<int()> chosen);
// "Files Kept" and their number under the job's details, for a movie.
void AddKeptRow(QTreeWidget* info, int job);

}  // namespace MovieFilesCommand
