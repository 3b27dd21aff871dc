#pragma once
// The job message window "Job message": one "Job complete." line per finished job while it stays
// open, on top of other windows, closed with "&OK".

#include <QDialog>

class QListWidget;
class QPushButton;
class clsJobManager;

class frmJobmessage : public QDialog {
    Q_OBJECT
public:
    explicit frmJobmessage(QWidget* parent = nullptr);

    // Shows the window when it is hidden and adds the line to List1.
    void AddLine(const QString& line);
    QListWidget* List() const { return list1; }

    // Lets the manager's job messages open this window (made on the first message) over parent.
    static void ConnectTo(clsJobManager* manager, QWidget* parent);

private:
    QListWidget* list1;
    QPushButton* cmdOK;
};
