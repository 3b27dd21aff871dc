#pragma once
// What happens when the downloads are done, as the "Other" options ask: with "DownShutDown" the
// computer is powered off after a 30-second message with a Cancel button (a refusal is shown);
// with "DoneExit" the program ends as File > Exit does after a 10-second message with a Cancel
// button. Both ticked: the power-off comes first; the program then ends when it was accepted, or
// after its own message when it was refused.

#include <QObject>
#include <QPointer>
#include <functional>

#include <QMessageBox>
class QTimer;
class LogindPowerOff;

class DoneActions : public QObject {
    Q_OBJECT
public:
    static constexpr int kExitSeconds = 10;
    static constexpr int kShutDownSeconds = 30;

    // exitProgram: File > Exit. dialogParent: the main window.
    DoneActions(QWidget* dialogParent, std::function<void()> exitProgram,
                QObject* parent = nullptr);

    // The downloads are done: starts what the options ask for (nothing while a message of an
    // earlier end is still counting).
    void DownloadsDone();
    // The message counting down, or nullptr (tests press its Cancel button).
    QMessageBox* Countdown() const { return box; }
    // Shortens the countdowns (tests); 0 restores them.
    void SetSeconds(int exitSeconds, int shutDownSeconds);

private:
    enum class Step { Exit, ShutDown };
    void StartCountdown(Step step);
    void Tick();
    void CountdownEnded();
    void PowerOffAnswered(bool ok, const QString& error);

    QWidget* dialogParent;
    std::function<void()> exitProgram;
    LogindPowerOff* powerOff;
    QPointer<QMessageBox> box;
    QTimer* timer;
    Step step = Step::Exit;
    int left = 0;
    int exitSeconds = kExitSeconds;
    int shutDownSeconds = kShutDownSeconds;
};
