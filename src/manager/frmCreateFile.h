#pragma once
// "Create New File for saving ...": a job's large file is being laid out. The window comes (not
// modal) only when the layout takes longer than half a second, follows it in its progress bar
// and goes when the layout ends, however it ends.

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;
class clsJobManager;

class frmCreateFile : public QDialog {
    Q_OBJECT
public:
    // The window is shown this long after a layout began, if it has not ended by then.
    static constexpr int kShowAfterMs = 500;

    frmCreateFile(const QString& name, qint64 size, QWidget* parent);
    void SetDone(qint64 done);

    // One window for each job of the manager whose layout takes long.
    static void ConnectTo(clsJobManager* manager, QWidget* parent);

private:
    QLabel* lblCreate;
    QLabel* lblFile;
    QProgressBar* ProgressBar1;
};
