#include "store/CategoryTree.h"

#include <utility>
#include <vector>

CategoryTree::CategoryTree(QObject* parent) : QObject(parent) {}

void CategoryTree::Clear() {
    nodes.clear();
    roots.clear();
    emit Changed();
}

bool CategoryTree::Add(const QString& parentKey, const QString& key, const QString& text,
                       const QString& image, const QString& selectedImage, const QString& tag) {
    if (key.isEmpty() || nodes.contains(key)) return false;
    if (!parentKey.isEmpty() && !nodes.contains(parentKey)) return false;
    TreeNode node{key, text, image, selectedImage, tag, parentKey, {}};
    nodes.insert(key, node);
    if (parentKey.isEmpty())
        roots.append(key);
    else
        nodes[parentKey].Children.append(key);
    emit Changed();
    return true;
}

const TreeNode* CategoryTree::Find(const QString& key) const {
    auto it = nodes.constFind(key);
    return it == nodes.cend() ? nullptr : &it.value();
}

bool CategoryTree::SetText(const QString& key, const QString& text) {
    auto it = nodes.find(key);
    if (it == nodes.end()) return false;
    it->Text = text;
    emit Changed();
    return true;
}

bool CategoryTree::SetTag(const QString& key, const QString& tag) {
    auto it = nodes.find(key);
    if (it == nodes.end()) return false;
    it->Tag = tag;
    emit Changed();
    return true;
}

bool CategoryTree::Remove(const QString& key) {
    auto it = nodes.find(key);
    if (it == nodes.end()) return false;
    const QString parentKey = it->ParentKey;
    for (const QString& d : Descendants(key)) nodes.remove(d);
    nodes.remove(key);
    if (parentKey.isEmpty())
        roots.removeAll(key);
    else
        nodes[parentKey].Children.removeAll(key);
    emit Changed();
    return true;
}

bool CategoryTree::IsInSubtree(const QString& key, const QString& ancestorKey) const {
    QString k = key;
    int guard = 0;
    while (!k.isEmpty() && guard++ <= nodes.size()) {
        if (k == ancestorKey) return true;
        const TreeNode* n = Find(k);
        if (!n) return false;
        k = n->ParentKey;
    }
    return false;
}

bool CategoryTree::Move(const QString& key, const QString& newParentKey) {
    auto it = nodes.find(key);
    if (it == nodes.end() || !nodes.contains(newParentKey)) return false;
    if (it->ParentKey.isEmpty()) return false;
    if (IsInSubtree(newParentKey, key)) return false;
    if (it->ParentKey == newParentKey) return true;
    nodes[it->ParentKey].Children.removeAll(key);
    it->ParentKey = newParentKey;
    nodes[newParentKey].Children.append(key);
    emit Changed();
    return true;
}

QStringList CategoryTree::ChildrenOf(const QString& key) const {
    const TreeNode* n = Find(key);
    return n ? n->Children : QStringList();
}

QStringList CategoryTree::Descendants(const QString& key) const {
    // Pre-order with an explicit stack: a chain of thousands of nested categories (a damaged or
    // hand-made database) must neither exhaust the call stack nor copy lists level by level.
    QStringList out;
    const TreeNode* n = Find(key);
    if (!n) return out;
    std::vector<std::pair<const QStringList*, qsizetype>> stack{{&n->Children, 0}};
    while (!stack.empty()) {
        auto& [children, next] = stack.back();
        if (next >= children->size()) {
            stack.pop_back();
            continue;
        }
        const QString& child = children->at(next++);
        out.append(child);
        if (const TreeNode* c = Find(child); c && !c->Children.isEmpty())
            stack.push_back({&c->Children, 0});
    }
    return out;
}

int CategoryTree::DepthBelow(const QString& key, const QString& ancestorKey) const {
    int depth = 0;
    QString k = key;
    while (!k.isEmpty()) {
        if (k == ancestorKey) return depth;
        const TreeNode* n = Find(k);
        if (!n) return -1;
        k = n->ParentKey;
        ++depth;
    }
    return -1;
}

QString CategoryTree::NewChildKey(const QString& parentKey) const {
    qsizetype number = ChildrenOf(parentKey).size() + 1;
    while (nodes.contains(parentKey + QString::number(number))) ++number;
    return parentKey + QString::number(number);
}
