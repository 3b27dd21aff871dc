#pragma once
// The navigation and category tree behind the main window's tvNa, without any widget. Nodes have
// a unique key, a caption, an image and a selected image (image-list keys such as "5" or
// "History"), and a tag (the download folder for category nodes). Children keep their order.

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

struct TreeNode {
    QString Key;
    QString Text;
    QString Image;
    QString SelectedImage;
    QString Tag;
    QString ParentKey;  // empty for a top-level node
    QStringList Children;
};

class CategoryTree : public QObject {
    Q_OBJECT
public:
    explicit CategoryTree(QObject* parent = nullptr);

    void Clear();
    // Adds a node as the last child of parentKey (empty: a new top-level node). Fails when the
    // key is taken or the parent is unknown.
    bool Add(const QString& parentKey, const QString& key, const QString& text,
             const QString& image, const QString& selectedImage, const QString& tag = QString());
    bool Exists(const QString& key) const { return nodes.contains(key); }
    const TreeNode* Find(const QString& key) const;
    // Changes caption or tag of a node; Changed() follows.
    bool SetText(const QString& key, const QString& text);
    bool SetTag(const QString& key, const QString& tag);
    // Removes a node and its whole subtree.
    bool Remove(const QString& key);
    // Makes key (with its subtree) the last child of newParentKey. Refused for top-level nodes,
    // unknown keys and moves below the node itself or one of its descendants.
    bool Move(const QString& key, const QString& newParentKey);
    // True when key is ancestorKey or lies below it.
    bool IsInSubtree(const QString& key, const QString& ancestorKey) const;

    const QStringList& TopLevel() const { return roots; }
    QStringList ChildrenOf(const QString& key) const;
    // The nodes below key in pre-order (not key itself).
    QStringList Descendants(const QString& key) const;
    // Depth of key below ancestorKey (1 for a direct child); -1 when not below it.
    int DepthBelow(const QString& key, const QString& ancestorKey) const;
    int Count() const { return static_cast<int>(nodes.size()); }

    // How deep below "Downloaded" categories may nest: the tree view lays out its rows
    // recursively, so a much deeper chain would exhaust the stack. A loaded database with deeper
    // categories has them moved up (see LoadJobDb).
    static constexpr int kMaxCategoryDepth = 100;

    // Key for a new child of parentKey: the parent key followed by the lowest number from
    // (children + 1) upwards that no node of the tree uses yet.
    QString NewChildKey(const QString& parentKey) const;

signals:
    void Changed();

private:
    QHash<QString, TreeNode> nodes;
    QStringList roots;
};

// Fixed keys of the tree skeleton.
namespace TreeKeys {
inline const QString Root = QStringLiteral("Quorvanta");
inline const QString NowSearch = QStringLiteral("NowSearch");
inline const QString NowDownLoad = QStringLiteral("NowDownLoad");
inline const QString Downloaded = QStringLiteral("Downloaded");
inline const QString Recely = QStringLiteral("Recely");
inline const QString RecelyReally = QStringLiteral("Recely_Really");
inline const QString History = QStringLiteral("History");
}  // namespace TreeKeys
