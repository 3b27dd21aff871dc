#pragma once
// The player's own frame position: the renderer has no frame control we can read, so the frame
// is worked out from the time played at the movie's rate. It never passes the total.

#include <QElapsedTimer>
#include <QList>
#include <functional>

class FrameClock {
public:
    using TimeSource = std::function<qint64()>;  // milliseconds, monotonic

    FrameClock();
    explicit FrameClock(TimeSource now);

    // A new movie: stopped at frame 1 (0 when it has no frames). The timeline holds at its last
    // frame until SetTimeline says otherwise.
    void Reset(double frameRate, int totalFrames);
    // A timeline that starts again at frame 1 after its last frame (loops), halting at the first
    // of stopFrames (ascending) it reaches.
    void SetTimeline(bool loops, const QList<int>& stopFrames);
    // The first stop frame at or after frame n; 0 when there is none.
    int HaltFrom(int n) const;
    // Moves to frame n (clamped to 1 .. total), keeping the playing state.
    void SetFrame(int n);
    void Start();
    void Stop();  // keeps the frame reached
    bool Running() const { return running; }
    int Frame() const;
    int Total() const { return total; }

private:
    int FrameAt(qint64 nowMs) const;

    TimeSource now;
    QElapsedTimer timer;
    double rate = 0;
    int total = 0;
    int base = 0;        // the frame when the clock last started or was set
    qint64 startMs = 0;  // when it last started
    bool running = false;
    bool loops = false;
    QList<int> stops;
};
