#pragma once
// The eight download slots and the table of which job each was given last, the choice of a
// free slot, and the transfer rate over all slots. It knows no rows: the job manager decides
// which job goes next and follows the slots through their signals.

#include <QObject>
#include <QTimer>
#include <array>
#include <cstdint>

#include "engine/SessionLogins.h"
#include "engine/SpeedLimiter.h"

class DownloadSlot;

class SlotScheduler : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlots = 8;

    explicit SlotScheduler(QObject* parent = nullptr);
    // The slots go first: their connections still hold the limiter and the logins.
    ~SlotScheduler() override;

    DownloadSlot* Slot(int k) const;  // k = 1..8, else nullptr
    // One limit for all slots together, in bytes a second; 0 for none.
    void SetSpeedLimit(qint64 bytesPerSecond) { limiter.SetRate(bytesPerSecond); }
    qint64 SpeedLimit() const { return limiter.Rate(); }
    // Logins given in this run for a server, used by jobs without their own.
    SessionLogins& Logins() { return logins; }
    int SlotJob(int k) const;  // job last bound to slot k (not cleared when it is freed)
    int FreeSlot() const { return freeSlot; }
    // First usable free slot (k <= maxJobs and not in use), also kept in FreeSlot; nullptr if
    // none.
    DownloadSlot* FindFree(int maxJobs);
    // First slot whose SlotJob is the job, busy or not (0 = none).
    int16_t FindJobSlot(int jobIndex) const;
    // The busy slot running the job right now, or nullptr.
    DownloadSlot* RunningSlot(int jobIndex) const;
    // Pauses every busy slot.
    void PauseBusy();
    int BusySlots() const;
    // Binds the job to slot k (as the slot's job) and starts it; the rate is measured from now
    // on while slots run.
    void Bind(int k, int jobIndex);

    // Bytes received by all slots since the program started.
    qint64 TotalReceived() const { return totalReceived; }
    void AddReceived(qint64 bytes) { totalReceived += bytes; }
    // The number of busy slots may have changed: tells it at once (TransferRate).
    void CheckBusy();
    bool Measuring() const { return rateTimer.isActive(); }

signals:
    // Once a second while downloads run: bytes per second over all slots and busy slots; also
    // as soon as the number of busy slots changes (with the last second's rate; (0, 0) when
    // the last running job has stopped).
    void TransferRate(qint64 bytesPerSecond, int busySlots);
    // The rows' speeds are due (every tick of the rate, and when the last slot stopped).
    void RatesDue();

private:
    void TickRate();

    std::array<DownloadSlot*, kSlots + 1> slotObjects{};
    std::array<int, kSlots + 1> slotJob{};
    int freeSlot = 0;
    qint64 totalReceived = 0;
    qint64 rateMark = 0;
    qint64 shownRate = 0;  // what TransferRate told last
    int shownBusy = 0;
    bool rateTicked = false;  // a whole second measured since the rate timer started
    QTimer rateTimer;
    SpeedLimiter limiter;
    SessionLogins logins;
};
