#pragma once
// "Check Newest Version": shows the update check's progress and, when a newer version exists,
// offers to download it through the new-job dialog.

#include <QDialog>
#include <functional>

#include "net/UpdateCheck.h"

class QLabel;
class QPushButton;

class frmCheckNew : public QDialog {
    Q_OBJECT
public:
    // openNewJob receives the download address and opens the new-job dialog with it.
    using OpenNewJob = std::function<void(const QString& url)>;

    explicit frmCheckNew(OpenNewJob openNewJob, QWidget* parent = nullptr);

    // Opens the window (application-modal, deleted when closed) and starts the check against the
    // update server of the settings.
    static frmCheckNew* Open(QWidget* parent, OpenNewJob openNewJob);

    UpdateCheck* Check() { return &check; }
    const QString& DownSite() const { return site; }

    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;  // "DownLoad Now!"
    QPushButton* Command2 = nullptr;  // "More Infomation"
    QPushButton* OKButton = nullptr;

private:
    void Command1_Click();
    void Command2_Click();

    UpdateCheck check;
    OpenNewJob openNewJob;
    QString site;
};
