#include "store/LocalPath.h"

#include <algorithm>

namespace LocalPath {

namespace {
qsizetype LastSeparator(const QString& path) {
    return std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
}
}  // namespace

QString FileNamePart(const QString& path) {
    return path.mid(LastSeparator(path) + 1);
}

QString FolderPart(const QString& path) {
    const qsizetype p = LastSeparator(path);
    return p < 0 ? QString() : path.left(p + 1);
}

}  // namespace LocalPath
