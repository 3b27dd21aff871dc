#pragma once
// The proxy editor of the options dialog's "Proxy" tab: adds a row to the list (mode 1) or
// changes its selected row (mode 2).

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTreeWidget;

class frmProxy : public QDialog {
    Q_OBJECT
public:
    static constexpr int ModeAdd = 1;
    static constexpr int ModeModify = 2;

    frmProxy(QTreeWidget* list, int mode, QWidget* parent = nullptr);

private slots:
    void cmdOk_Click();

private:
    QTreeWidget* list;
    int mode;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* cmdOk = nullptr;
};
