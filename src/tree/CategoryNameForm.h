#pragma once
// The name and folder rows of the category dialogs: txtName, and txtDir with its cmdBrowse
// button, made as children of the dialog and placed into its grid where each dialog wants them
// (the new-category dialog has its parent tree between them). The grid has three columns:
// caption, box, button; the name box spans the last two.

#include <QString>

class QGridLayout;
class QLineEdit;
class QPushButton;
class QWidget;

class CategoryNameForm {
public:
    explicit CategoryNameForm(QWidget* dialog);

    void PlaceName(QGridLayout* grid, int row, const QString& caption) const;
    void PlaceFolder(QGridLayout* grid, int row, const QString& caption) const;

    QLineEdit* Name() const { return txtName; }
    QLineEdit* Folder() const { return txtDir; }
    QPushButton* Browse() const { return cmdBrowse; }

private:
    QWidget* dialog;
    QLineEdit* txtName;
    QLineEdit* txtDir;
    QPushButton* cmdBrowse;
};
