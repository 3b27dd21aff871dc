#include "ui/frmDragMessage.h"

#include <QHBoxLayout>
#include <QLabel>

frmDragMessage::frmDragMessage(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setObjectName("frmDragMessage");
    setAttribute(Qt::WA_ShowWithoutActivating);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(Label1);
    setStyleSheet(
        "frmDragMessage { background: #ffffe1; border: 1px solid #000000; }"
        "QLabel { color: #000000; }");
    setAttribute(Qt::WA_StyledBackground);
}

void frmDragMessage::SetText(const QString& text) {
    Label1->setText(text);
    adjustSize();
}
