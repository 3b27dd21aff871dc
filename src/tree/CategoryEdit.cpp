#include "tree/CategoryEdit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "store/JobTable.h"
#include "store/MovieFilesFolder.h"
#include "tree/CategoryView.h"
#include "widgets/DialogHooks.h"

namespace CategoryEdit {

bool IsFixedNode(const CategoryTree& tree, const QString& key) {
    const TreeNode* node = tree.Find(key);
    if (!node) return true;
    if (node->ParentKey.isEmpty()) return true;  // the root and "History"
    if (node->ParentKey == TreeKeys::Root) return true;
    if (node->ParentKey == TreeKeys::History) return true;
    return CategoryView::FilterDays(key) != 0;
}

bool IsCategory(const CategoryTree& tree, const QString& key) {
    return tree.IsInSubtree(key, TreeKeys::Downloaded);
}

QString NewCategoryKey(const CategoryTree& tree, const QString& parentKey) {
    QSet<QString> jobKeys;
    for (int i = 1; i <= JobCount; ++i) jobKeys.insert(Jobs[i].ClassKey);
    qsizetype number = tree.ChildrenOf(parentKey).size() + 1;
    for (;; ++number) {
        const QString key = parentKey + QString::number(number);
        if (!tree.Exists(key) && !jobKeys.contains(key)) return key;
    }
}

QString FolderFor(const QString& base, const QString& name, bool createDir) {
    if (!createDir) return base;
    return DialogHooks::WithSeparator(base) + name;
}

QString CreateCategory(CategoryTree& tree, const QString& parentKey, const QString& name,
                       const QString& folder, bool createDir) {
    if (!tree.Exists(parentKey)) return QString();
    const QString key = NewCategoryKey(tree, parentKey);
    const QString tag = DialogHooks::WithSeparator(folder);
    if (!tree.Add(parentKey, key, name, QStringLiteral("5"), QStringLiteral("6"), tag))
        return QString();
    if (createDir && !folder.trimmed().isEmpty()) QDir().mkpath(folder);
    return key;
}

bool DeleteCategory(CategoryTree& tree, const QString& key, int* movedJobs) {
    if (IsFixedNode(tree, key)) return false;
    int moved = 0;
    for (int i = 1; i <= JobCount; ++i) {
        JobRecord& job = Jobs[i];
        if (job.ClassKey == key && job.State == StateComplete) {
            job.ClassKey = TreeKeys::Recely;
            ++moved;
        }
    }
    if (movedJobs) *movedJobs = moved;
    return tree.Remove(key);
}

MoveResult MoveCategory(CategoryTree& tree, const QString& key, const QString& newParentKey) {
    if (key == TreeKeys::Downloaded) return MoveResult::Unchanged;
    if (IsFixedNode(tree, key) || !IsCategory(tree, newParentKey)) return MoveResult::Refused;
    if (key == newParentKey) return MoveResult::Unchanged;
    if (tree.IsInSubtree(newParentKey, key)) return MoveResult::IntoOwnSubtree;
    const TreeNode* node = tree.Find(key);
    if (node->ParentKey == newParentKey) return MoveResult::Unchanged;
    return tree.Move(key, newParentKey) ? MoveResult::Moved : MoveResult::Refused;
}

bool DeleteJobFile(const JobRecord& job) {
    const QString path = job.LocalFile;
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return false;
    if (info.isDir()) return false;
    // The files a movie loads are kept beside it and go with it.
    if (!QFile::remove(path)) return false;
    MovieFilesFolder::Remove(path);
    return true;
}

}  // namespace CategoryEdit
