#pragma once
// The movie player panel of the main window: the player control with its frame slider, the
// refresh timer that moves the slider and writes the movie's position into the status bar, and
// the player's commands (play, pause, close, previous and next movie of the downloaded list).

#include <QObject>
#include <QString>

class QLabel;
class QSlider;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class flash1;
class MovieFileKeeper;

class PlayerPanel : public QObject {
    Q_OBJECT
public:
    // `lvHaveDown` is the downloaded list; `panel1` takes why a movie was refused, `panel2` the
    // movie's position.
    PlayerPanel(QTreeWidget* lvHaveDown, QLabel* panel1, QLabel* panel2, QObject* parent);

    // The player above its slider.
    QWidget* Pane() const { return pane; }
    flash1* Player() const { return player; }
    QSlider* Slider1() const { return slider; }
    QTimer* Timer2() const { return timer; }
    bool Following() const { return follow; }

    // True for a path whose last extension is "swf" in any letter case.
    static bool IsSwfPath(const QString& path);
    // Opening a row of the downloaded list: the job's existing SWF file (its LocalFile) is loaded
    // and followed.
    void OpenItem(QTreeWidgetItem* item);
    // A double click on a row: its movie plays (loaded from its first frame unless it is the one
    // in the player). False when the row's file is not an SWF movie that the player takes.
    bool PlayItem(QTreeWidgetItem* item);
    // Plays on; after Stop (nothing loaded) the chosen row's movie plays from its first frame.
    void Play();
    void Pause();  // keeps the frame
    void Close();  // unloads the movie
    void Previous() { Step(-1); }
    void Next() { Step(+1); }
    // The refresh tick: slider and status text follow the player.
    void Tick();

signals:
    // Previous or next opened this job's row: the window shows its details.
    void ItemOpened(int job);

private:
    void Step(int delta);
    // Goes to the frame, playing on or staying paused as the player was.
    void Seek(int frame);
    // The row the commands act on: the current row when selected, else the first selected.
    QTreeWidgetItem* ChosenRow() const;
    // The job's file when it is an existing SWF file, else "".
    static QString MovieOf(QTreeWidgetItem* item);

    QTreeWidget* list;
    QLabel* panel1;
    QLabel* panel2;
    QWidget* pane = nullptr;
    flash1* player = nullptr;
    QSlider* slider = nullptr;
    QTimer* timer = nullptr;
    QTimer* seekTimer = nullptr;
    int pendingSeek = 0;
    bool follow = false;
    QString shownText;  // the status text the tick wrote last
    // The files the playing movie loads: kept beside it, or fetched from its site and kept. One
    // keeper per opened movie, so a file that could not be had is asked for once per play.
    void KeepFilesOf(int job);
    MovieFileKeeper* keeper = nullptr;
};
