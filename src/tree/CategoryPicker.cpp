#include "tree/CategoryPicker.h"

#include <QCheckBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "store/CategoryTree.h"
#include "widgets/TreeFill.h"

CategoryPicker::CategoryPicker(const CategoryTree& tree, const QString& preselectKey,
                               QWidget* parent)
    : QWidget(parent) {
    tvClass = new QTreeWidget(this);
    tvClass->setObjectName(QStringLiteral("tvClass"));
    tvClass->setHeaderHidden(true);
    tvClass->setMinimumHeight(180);
    chkMoveFile = new QCheckBox(QStringLiteral("Move File"), this);
    chkMoveFile->setObjectName(QStringLiteral("chkMoveFile"));
    chkMoveFile->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tvClass, 1);
    layout->addWidget(chkMoveFile);

    CopyClassTree(tvClass, tree);
    QTreeWidgetItem* preselect = FindTreeItem(tvClass, preselectKey);
    if (!preselect && tvClass->topLevelItemCount() > 0) preselect = tvClass->topLevelItem(0);
    if (preselect) tvClass->setCurrentItem(preselect);
}

QString CategoryPicker::ChosenKey() const {
    return TreeItemKey(tvClass->currentItem());
}
