#pragma once
// Job lists as plain text files: one URL per line, enclosed in double quotes, CR LF after each.
// A URL that holds a double quote is written with it percent-encoded ("%22"), so that every
// line reads back as the URL it came from.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace JobListFile {

// The bytes of a list of the jobs with these indexes, in the order given.
QByteArray ListBytes(const QList<int>& jobs);
// Jobs whose ClassKey is key, in index order, whatever their state (sub-categories not
// included).
QList<int> JobsOfCategory(const QString& key);
// Writes the list to path (created or truncated). False with the reason when it failed.
bool Write(const QString& path, const QList<int>& jobs, QString* error);

// The candidate URLs of a list file in line order: every line trimmed of blanks, one pair of
// enclosing double quotes removed (or an opening one without its closing one). Blank lines are
// left out. Line ends may be CR LF, LF or CR.
QStringList Lines(const QByteArray& bytes);

}  // namespace JobListFile
