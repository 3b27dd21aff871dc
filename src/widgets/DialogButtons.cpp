#include "widgets/DialogButtons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

DialogButtons::DialogButtons(QDialog* dialog, Default defaultButton)
    : ok(new QPushButton(QStringLiteral("OK"), dialog)),
      cancel(new QPushButton(QStringLiteral("Cancel"), dialog)),
      row(new QHBoxLayout) {
    ok->setObjectName(QStringLiteral("cmdOk"));
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    if (defaultButton == OkDefault)
        ok->setDefault(true);
    else if (defaultButton == CancelDefault)
        cancel->setDefault(true);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
}
