#pragma once
// The category chooser of the move dialogs: a copy of the category tree (tvClass) with one node
// preselected, and the "Move File" box (chkMoveFile), which only shows that files stay where
// they are.

#include <QWidget>

class CategoryTree;
class QCheckBox;
class QTreeWidget;

class CategoryPicker : public QWidget {
    Q_OBJECT
public:
    // The node of preselectKey is preselected, else the first top node.
    CategoryPicker(const CategoryTree& tree, const QString& preselectKey,
                   QWidget* parent = nullptr);

    // Key of the chosen node; empty when none is.
    QString ChosenKey() const;
    QTreeWidget* Tree() const { return tvClass; }

private:
    QTreeWidget* tvClass;
    QCheckBox* chkMoveFile;
};
