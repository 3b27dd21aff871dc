#include "manager/SlotScheduler.h"

#include "engine/DownloadSlot.h"

SlotScheduler::SlotScheduler(QObject* parent) : QObject(parent) {
    for (int k = 1; k <= kSlots; ++k) {
        auto* slot = new DownloadSlot(k, this);
        slot->setObjectName(QStringLiteral("clsDownJob%1").arg(k));
        slot->SetLimiter(&limiter);
        slot->SetSessionLogins(&logins);
        slotObjects[static_cast<size_t>(k)] = slot;
    }
    rateTimer.setInterval(1000);
    connect(&rateTimer, &QTimer::timeout, this, &SlotScheduler::TickRate);
}

SlotScheduler::~SlotScheduler() {
    for (DownloadSlot*& slot : slotObjects) {
        delete slot;
        slot = nullptr;
    }
}

DownloadSlot* SlotScheduler::Slot(int k) const {
    if (k < 1 || k > kSlots) return nullptr;
    return slotObjects[static_cast<size_t>(k)];
}

int SlotScheduler::SlotJob(int k) const {
    return (k < 1 || k > kSlots) ? 0 : slotJob[static_cast<size_t>(k)];
}

DownloadSlot* SlotScheduler::FindFree(int maxJobs) {
    freeSlot = 0;
    for (int k = 1; k <= kSlots; ++k) {
        if (maxJobs >= k && !Slot(k)->InUse()) {
            freeSlot = k;
            return Slot(k);
        }
    }
    return nullptr;
}

int16_t SlotScheduler::FindJobSlot(int j) const {
    if (j == 0) return 0;
    for (int k = 1; k <= kSlots; ++k)
        if (slotJob[static_cast<size_t>(k)] == j) return static_cast<int16_t>(k);
    return 0;
}

DownloadSlot* SlotScheduler::RunningSlot(int j) const {
    if (j == 0) return nullptr;
    for (int k = 1; k <= kSlots; ++k) {
        DownloadSlot* slot = Slot(k);
        if (slot->InUse() && slot->JobIndex() == j) return slot;
    }
    return nullptr;
}

void SlotScheduler::PauseBusy() {
    for (int k = 1; k <= kSlots; ++k)
        if (Slot(k)->InUse()) Slot(k)->Pause();
}

int SlotScheduler::BusySlots() const {
    int busy = 0;
    for (int k = 1; k <= kSlots; ++k)
        if (Slot(k)->InUse()) ++busy;
    return busy;
}

void SlotScheduler::Bind(int k, int j) {
    DownloadSlot* slot = Slot(k);
    if (slot == nullptr) return;
    slotJob[static_cast<size_t>(k)] = j;
    if (!rateTimer.isActive()) {
        rateMark = totalReceived;
        rateTicked = false;
        rateTimer.start();
    }
    slot->BindAndStart(j);
}

void SlotScheduler::CheckBusy() {
    if (!rateTimer.isActive()) return;
    const int busy = BusySlots();
    if (busy == shownBusy) return;
    // The number of running jobs is shown at once, with the rate of the last whole second;
    // nothing running shows no rate at all. Before the first whole second there is no rate to
    // show with it.
    if (busy != 0 && !rateTicked) return;
    if (busy == 0) {
        rateTimer.stop();
        shownRate = 0;
        emit RatesDue();
    }
    shownBusy = busy;
    emit TransferRate(shownRate, busy);
}

void SlotScheduler::TickRate() {
    const int busy = BusySlots();
    shownRate = busy == 0 ? 0 : totalReceived - rateMark;
    shownBusy = busy;
    rateTicked = busy != 0;
    // The rows' speeds first, so that the rate told with them is of the same moment.
    emit RatesDue();
    emit TransferRate(shownRate, busy);
    rateMark = totalReceived;
    if (busy == 0) rateTimer.stop();
}
