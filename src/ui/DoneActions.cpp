#include "ui/DoneActions.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "store/Settings.h"
#include "ui/LogindPowerOff.h"
#include "widgets/DialogHooks.h"

namespace {
QString CountdownText(bool shutDown, int seconds) {
    return shutDown ? QStringLiteral(
                          "All downloads are done.\nThe computer will shut down in "
                          "%1 seconds.")
                          .arg(seconds)
                    : QStringLiteral(
                          "All downloads are done.\nQuorvanta will exit in %1 "
                          "seconds.")
                          .arg(seconds);
}
}  // namespace

DoneActions::DoneActions(QWidget* dialogParent, std::function<void()> exitProgram, QObject* parent)
    : QObject(parent),
      dialogParent(dialogParent),
      exitProgram(std::move(exitProgram)),
      powerOff(new LogindPowerOff(this)),
      timer(new QTimer(this)) {
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &DoneActions::Tick);
    connect(powerOff, &LogindPowerOff::Finished, this, &DoneActions::PowerOffAnswered);
}

void DoneActions::SetSeconds(int exitS, int shutDownS) {
    exitSeconds = exitS > 0 ? exitS : kExitSeconds;
    shutDownSeconds = shutDownS > 0 ? shutDownS : kShutDownSeconds;
}

void DoneActions::DownloadsDone() {
    if (box) return;
    if (Settings.DownShutDown == 1)
        StartCountdown(Step::ShutDown);
    else if (Settings.DoneExit == 1)
        StartCountdown(Step::Exit);
}

void DoneActions::StartCountdown(Step s) {
    step = s;
    left = s == Step::ShutDown ? shutDownSeconds : exitSeconds;
    box = new QMessageBox(QMessageBox::Information, QStringLiteral("Quorvanta"),
                          CountdownText(s == Step::ShutDown, left), QMessageBox::Cancel,
                          dialogParent);
    box->setObjectName(s == Step::ShutDown ? QStringLiteral("msgDoneShutDown")
                                           : QStringLiteral("msgDoneExit"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Cancel (or closing the message) stops the countdown; nothing else happens.
    connect(box, &QDialog::finished, this, [this] { timer->stop(); });
    box->open();
    timer->start();
}

void DoneActions::Tick() {
    if (!box) {
        timer->stop();
        return;
    }
    if (--left > 0) {
        box->setText(CountdownText(step == Step::ShutDown, left));
        return;
    }
    CountdownEnded();
}

void DoneActions::CountdownEnded() {
    timer->stop();
    QPointer<QMessageBox> ended = box;
    box = nullptr;
    if (ended) {
        // Closed without "finished": the countdown already ended.
        ended->disconnect(this);
        ended->done(QMessageBox::Ok);
    }
    if (step == Step::ShutDown)
        powerOff->Request();
    else if (exitProgram)
        exitProgram();
}

void DoneActions::PowerOffAnswered(bool ok, const QString& error) {
    if (!ok)
        DialogHooks::Message(dialogParent, QMessageBox::Warning,
                             QStringLiteral("The computer could not be shut down: ") + error);
    if (Settings.DoneExit != 1) return;
    if (ok) {
        if (exitProgram) exitProgram();
    } else {
        StartCountdown(Step::Exit);
    }
}
