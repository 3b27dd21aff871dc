#include "tree/CategoryNameForm.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "tree/NamedWidgets.h"

CategoryNameForm::CategoryNameForm(QWidget* dialog)
    : dialog(dialog),
      txtName(NamedWidgets::LineEdit(QStringLiteral("txtName"), dialog)),
      txtDir(NamedWidgets::LineEdit(QStringLiteral("txtDir"), dialog)),
      cmdBrowse(new QPushButton(QStringLiteral("&Browse..."), dialog)) {
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
}

void CategoryNameForm::PlaceName(QGridLayout* grid, int row, const QString& caption) const {
    grid->addWidget(new QLabel(caption, dialog), row, 0);
    grid->addWidget(txtName, row, 1, 1, 2);
}

void CategoryNameForm::PlaceFolder(QGridLayout* grid, int row, const QString& caption) const {
    grid->addWidget(new QLabel(caption, dialog), row, 0);
    grid->addWidget(txtDir, row, 1);
    grid->addWidget(cmdBrowse, row, 2);
}
