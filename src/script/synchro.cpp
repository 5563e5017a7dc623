#include "script/synchro.h"

CMonitorLock::CMonitorLock(CMonitor& monitor) : monitor_(monitor), lock_(monitor.mutex_) {}

void CMonitorLock::Wait() {
    monitor_.condition_.wait(lock_);
}

void CMonitorLock::Broadcast() {
    monitor_.condition_.notify_all();
}

void CEventShared::Raise() {
    CMonitorLock lock(monitor_);
    raised_ = true;
    lock.Broadcast();
}

void CEventShared::Wait() {
    CMonitorLock lock(monitor_);
    lock.WaitUntil([this] { return raised_; });
}

void CEventShared::Release() {
    released_ = true;
    Raise();
}

void CRendezVousShared::AddParticipant() {
    CMonitorLock lock(monitor_);
    ++participants_;
}

// Caller holds the lock. True once every expected participant has arrived.
bool CRendezVousShared::countArrival(CMonitorLock& lock) {
    --participants_;
    if (participants_ > 0) {
        return false;
    }
    lock.Broadcast();
    return true;
}

void CRendezVousShared::Arrive() {
    CMonitorLock lock(monitor_);
    if (!countArrival(lock)) {
        lock.WaitUntil([this] { return participants_ <= 0; });
    }
}

// The releasing worker has given up: it counts as arrived but does not wait for the others,
// or it could block before releasing the rest of its objects, which they may be waiting for.
void CRendezVousShared::Release() {
    released_ = true;
    CMonitorLock lock(monitor_);
    countArrival(lock);
}

void CBufferShared::Raise() {
    CMonitorLock lock(monitor_);
    raised_ = true;
    lock.Broadcast();
}

void CBufferShared::Wait() {
    CMonitorLock lock(monitor_);
    lock.WaitUntil([this] { return raised_; });
}

void CBufferShared::Release() {
    released_ = true;
    Raise();
}

void CBufferShared::SetValue(std::string value) {
    auto owner = std::make_shared<const std::string>(std::move(value));
    std::string_view bytes(*owner);
    SetValue(SharedBytes{std::move(owner), bytes});
}

void CBufferShared::SetValue(SharedBytes value) {
    CMonitorLock lock(monitor_);
    value_ = std::move(value);
}

SharedBytes CBufferShared::ShareValue() {
    CMonitorLock lock(monitor_);
    return value_;
}
