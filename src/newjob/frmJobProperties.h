#pragma once
// "Job Properties": the address, referrer, login, file name, folder and connections of one job
// that is not running. The owner applies the values (JobEdit) when the dialog is accepted.

#include <QDialog>

#include "newjob/JobEdit.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class frmJobProperties : public QDialog {
    Q_OBJECT
public:
    frmJobProperties(const JobEdit& values, QWidget* parent = nullptr);
    JobEdit Values() const;

private:
    void OnOk();

    QLineEdit* txtUrl;
    QLineEdit* txtReferer;
    QCheckBox* chkLogin;
    QLineEdit* txtUserName;
    QLineEdit* txtPassword;
    QLineEdit* txtFileName;
    QLineEdit* txtFolder;
    QComboBox* cmbParts;
    QPushButton* cmdOk;
};
