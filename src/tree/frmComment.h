#pragma once
// "Comment": the free text of one job.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class frmComment : public QDialog {
    Q_OBJECT
public:
    frmComment(int job, QWidget* parent = nullptr);

private:
    void OnOk();

    int job;
    QPlainTextEdit* txtComment;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
};
