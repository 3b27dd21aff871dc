#pragma once
// The job database file: the categories under "Downloaded" in pre-order, the terminator record
// ("0", "0", "end", "end"), then every job record to the end of the file.

#include <QString>

#include "store/CategoryTree.h"

struct JobDbLoadResult {
    bool complete = true;  // false when part of the file could not be read
    QString problem;       // what was wrong, for the message to the user
    QString keptAs;        // where the unread file was kept (path + ".bad")
    // The file exists but could not be read at all (a folder, a pipe, no permission, an I/O
    // error): nothing was loaded, nothing was kept, and saves to path are refused for the run.
    bool unreadable = false;
    int movedUp = 0;       // categories nested too deeply, moved up (the file is kept as well)
};

// Writes the tree's categories and all jobs (except deleted-for-good and empty keys) to path,
// atomically: a temporary file beside it, flushed to disk, renamed over it. On failure the user
// is told once and the previous file stays whole. Refused (false, nothing written, no message)
// while JobDbSavingStopped(path) gives a reason.
bool SaveJobDb(const CategoryTree& tree, const QString& path);

// Why saves to path are refused for this run: LoadJobDb found a file there that it could not
// read, and no save may replace it. Empty when saves go ahead.
QString JobDbSavingStopped(const QString& path);

// The bytes SaveJobDb writes.
QByteArray JobDbBytes(const CategoryTree& tree);

// Rebuilds the fixed nodes, then reads categories and jobs from path into tree and Jobs. A file
// that cannot be read whole loads what can be read, is kept as path + ".bad", and the user is
// told once. Categories deeper than CategoryTree::kMaxCategoryDepth below "Downloaded" are moved
// up under their deepest ancestor that may still hold children (their keys, and so their jobs,
// stay); the file is then kept as path + ".bad" too, and the user is told in the same message.
// Every loaded job has FileOpen cleared and FileNo zeroed. A file that exists but cannot be read
// at all loads nothing, stops every save to path for the run (see JobDbSavingStopped), and the
// user is told once.
JobDbLoadResult LoadJobDb(CategoryTree& tree, const QString& path);

// First start: creates the default download folder, the fixed nodes and the four default
// categories, and saves.
void BuildDefaultTree(CategoryTree& tree, const QString& path);

// The top-level "History" node with "Today", "This Week", "This Month", "All".
void AddHistoryNodes(CategoryTree& tree);

// Clears the tree and adds root, "NowSearch", "NowDownLoad", "Downloaded", then (when
// withDefaults) the four default categories, then "Recely"; every tag the default folder.
void AddFixedNodes(CategoryTree& tree, bool withDefaults);
