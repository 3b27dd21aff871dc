#include "widgets/ProxyCombo.h"

#include <QComboBox>

#include "store/ProxyList.h"

void FillProxyCombo(QComboBox* combo) {
    if (!combo) return;
    int chosen = 0;
    const QStringList choices = ProxyChoices(&chosen);
    combo->clear();
    combo->addItems(choices);
    combo->setCurrentIndex(chosen);
}
