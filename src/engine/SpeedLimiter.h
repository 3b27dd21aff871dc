#pragma once
// One speed limit shared by every connection that reads through it: a token bucket refilled by
// the clock. A connection asks for what it wants to read and gets what the bucket holds; when it
// is empty the connection stops reading (the bytes wait in the socket, and the server slows down)
// and is called back, in turn with the others that wait, once the bucket has filled again. Nothing
// received is ever dropped. A rate of 0 is no limit.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class SpeedLimiter : public QObject {
    Q_OBJECT
public:
    explicit SpeedLimiter(QObject* parent = nullptr);

    // Bytes a second for all connections together; 0 for none.
    void SetRate(qint64 bytesPerSecond);
    qint64 Rate() const { return rate; }

    // Up to want bytes that may be read now (taken from the bucket); 0 when none may: then
    // resume is called once the waiter's turn comes (unless it is forgotten first).
    qint64 Take(QObject* reader, qint64 want, std::function<void()> resume);
    // Bytes taken but not read (the socket had fewer) go back into the bucket.
    void GiveBack(qint64 bytes);
    // The reader is gone or stopped: no call back.
    void Forget(QObject* reader);

private:
    void Refill();
    void OnTick();

    struct Waiter {
        QPointer<QObject> reader;
        std::function<void()> resume;
    };
    qint64 rate = 0;
    double tokens = 0;
    QElapsedTimer clock;
    QList<Waiter> waiting;
    QObject* serving = nullptr;  // the waiter whose turn it is
    QTimer tick;
};
