#pragma once
// Renaming a finished job's file on disk, keeping its record's LocalFile with it.

#include <QString>

namespace JobFileRename {

// Renames job i's file within its folder to newName (one rename(2)) and sets its LocalFile.
// Refused, with the text for the user, when the name is empty, holds "/", names an existing
// file, or the rename fails; the job is then unchanged. Empty when it was renamed (or the name
// is the same).
QString Rename(int job, const QString& newName);

}  // namespace JobFileRename
