#pragma once
// The names of files a download is about to make, written down before each file is made, in a
// small file beside the job database ("default.qvn"): one line a file, appended, so that a
// program killed at any moment leaves no file that no job knows, without writing the whole
// database for every file. The lines are taken into the jobs when the database is loaded, and
// a saved database that holds them makes them unneeded: each save first moves the lines written
// so far aside ("default.qvn.<n>") and removes them once it is on disk.

#include <QString>
#include <cstdint>

namespace JobNamesJournal {

// Appends job index's name (with its address, to tell a record reused for another job). False
// when it could not be written: the caller saves the whole database instead.
bool Append(const QString& dbPath, int index, const QString& url, const QString& localFile);
// Moves the lines written so far aside for a save of the tables that hold them; the number to
// give DropUpTo once that save is on disk (0: there were none).
int64_t SetAside(const QString& dbPath);
// Removes the lines set aside up to number (older saves' included).
void DropUpTo(const QString& dbPath, int64_t number);
// Takes every line into Jobs (oldest first) where the job is still that address, unfinished,
// and its named file exists (or, renamed at its end, its final name), unless the record names a
// file of the job's own that is still there. How many were taken.
int ApplyTo(const QString& dbPath);

}  // namespace JobNamesJournal
