#include "engine/DownloadSlot.h"

DownloadSlot::DownloadSlot(int slot, QObject* parent) : QObject(parent), slotNo(slot) {}
clsDownLoadJob* DownloadSlot::Job() {
    return &job;
}
int DownloadSlot::Slot() const {
    return slotNo;
}
bool DownloadSlot::InUse() const {
    return job.InUse;
}
int DownloadSlot::JobIndex() const {
    return job.JobIndex;
}
bool DownloadSlot::BindAndStart(int) {
    return false;
}
void DownloadSlot::Pause() {}
void DownloadSlot::OnUpDataState(int, const QString&, const QString&) {}
void DownloadSlot::Finish() {}
