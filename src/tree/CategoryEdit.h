#pragma once
// The category and filing operations behind the dialogs, without any widget.

#include <QString>

#include "store/CategoryTree.h"
#include "store/JobRecord.h"

namespace CategoryEdit {

// Nodes the category dialogs leave alone: the root, the fixed nodes below it ("NowSearch",
// "NowDownLoad", "Downloaded", "Recely"), "History" and its filters, and unknown keys.
bool IsFixedNode(const CategoryTree& tree, const QString& key);
// True for "Downloaded" and every category below it.
bool IsCategory(const CategoryTree& tree, const QString& key);

// Key for a new category below parentKey: parentKey followed by the lowest number from
// (children + 1) upwards that is neither a node of the tree nor the category of a job, so a new
// category never inherits the jobs of one deleted before.
QString NewCategoryKey(const CategoryTree& tree, const QString& parentKey);

// The folder box of the new-category dialog: base, a separator unless base ends with one, and
// name when createDir; base alone otherwise.
QString FolderFor(const QString& base, const QString& name, bool createDir);

// Adds a category below parentKey with caption name, images 5/6 and folder plus a separator
// (unless it ends with one) as tag; creates the folder when createDir (errors ignored).
// Returns the new key, empty when the parent is unknown.
QString CreateCategory(CategoryTree& tree, const QString& parentKey, const QString& name,
                       const QString& folder, bool createDir);

// Deletes a category: its own complete jobs go to the recycle bin, then the node and its
// subtree leave the tree. Refused (false) for fixed nodes. Returns the number of jobs moved in
// movedJobs when given.
bool DeleteCategory(CategoryTree& tree, const QString& key, int* movedJobs = nullptr);

enum class MoveResult { Moved, Unchanged, Refused, IntoOwnSubtree };
// Makes key a child of newParentKey. "Downloaded" stays (Unchanged), other fixed nodes and
// unknown targets are Refused, a target inside the category's own subtree is IntoOwnSubtree.
MoveResult MoveCategory(CategoryTree& tree, const QString& key, const QString& newParentKey);

// Deletes the file a job has on disk (LocalFile, which carries "!qv" while it does); false
// when there was nothing to delete or it could not be deleted.
bool DeleteJobFile(const JobRecord& job);

}  // namespace CategoryEdit
