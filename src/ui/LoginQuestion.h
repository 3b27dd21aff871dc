#pragma once
// A download the server refused with "401" (it wants a login the job has not, or not the right
// one) asks the user for a login for that server: "frmLogin", its name and password boxes and
// "Keep the login with this job". Answered, the job starts again with it. Kept, the login goes
// into the job; otherwise it serves this run of the program only, for every job to that server
// that has no login of its own. One question at a time; jobs that fail meanwhile wait for it.

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QDialog;
class QWidget;
class clsJobManager;

class LoginQuestion : public QObject {
    Q_OBJECT
public:
    // changed: a job's record took a login (the owner saves).
    LoginQuestion(clsJobManager* manager, QWidget* window, std::function<void()> changed);
    // True for a failure reason that is the server's "401".
    static bool AsksForLogin(const QString& reason);

private:
    void OnFailed(int job, const QString& reason);
    void AskNext();
    void Answered(int job, const QString& user, const QString& password, bool keep);

    clsJobManager* manager;
    QWidget* window;
    std::function<void()> changed;
    QList<int> waiting;
    QPointer<QDialog> dialog;
};
