#pragma once
// Named shared objects of a run: events, rendezvous points and buffers. Each object locks
// itself; waits have no time-out; nothing is visible outside the process.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

class CMonitor {
  public:
    CMonitor() = default;
    CMonitor(const CMonitor&) = delete;
    CMonitor& operator=(const CMonitor&) = delete;

  private:
    friend class CMonitorLock;
    std::mutex mutex_;
    std::condition_variable condition_;
    int waiters_ = 0;
};

// Scoped lock of a monitor; Wait gives the lock up atomically with registering as a waiter.
class CMonitorLock {
  public:
    explicit CMonitorLock(CMonitor& monitor);
    void Wait();
    void Broadcast();

  private:
    CMonitor& monitor_;
    std::unique_lock<std::mutex> lock_;
};

class CBaseSynchro {
  public:
    CBaseSynchro() = default;
    CBaseSynchro(const CBaseSynchro&) = delete;
    CBaseSynchro& operator=(const CBaseSynchro&) = delete;
    virtual ~CBaseSynchro() = default;
    // Lets every waiter go on as if the object had been served.
    virtual void Release() = 0;
    bool IsReleased() const { return released_.load(); }

  protected:
    std::atomic<bool> released_{false};
    CMonitor monitor_;
};

class CEventShared : public CBaseSynchro {
  public:
    void Raise();
    // Returns once raised or released.
    void Wait();
    void Release() override;

  private:
    bool raised_ = false;
};

class CRendezVousShared : public CBaseSynchro {
  public:
    void AddParticipant();
    // Blocks until every expected participant has arrived; an open point never blocks again.
    void Arrive();
    void Release() override;
    int Participants();

  private:
    int participants_ = 0;
};

class CBufferShared : public CBaseSynchro {
  public:
    void Raise();
    void Wait();
    void Release() override;
    void SetValue(const std::string& value);
    std::string GetValue();

  private:
    bool raised_ = false;
    std::string value_;
};
