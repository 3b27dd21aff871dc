#pragma once
// "Tell Friend Good Software": one recommendation mail, delivered by SmtpSender, with every step
// written into the status list.

#include <QDialog>

#include "net/SmtpSender.h"

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

class frmTellFriend : public QDialog {
    Q_OBJECT
public:
    explicit frmTellFriend(QWidget* parent = nullptr);

    // Opens the window (application-modal, deleted when closed).
    static frmTellFriend* Open(QWidget* parent);

    // Appends a line to the status list and selects it, so the newest line shows.
    void AddStatusLine(const QString& text);
    SmtpSender* Sender() { return &sender; }

    // The start texts of the boxes.
    static QString StartFrom();
    static QString StartTo();
    static QString StartSubject();
    static QString StartContent();

    QLineEdit* txtFrom = nullptr;
    QLineEdit* txtTo = nullptr;
    QLineEdit* txtSubject = nullptr;
    QPlainTextEdit* txtContent = nullptr;
    QListWidget* List1 = nullptr;
    QPushButton* cmdSend = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    void cmdSend_Click();

    SmtpSender sender;
};
