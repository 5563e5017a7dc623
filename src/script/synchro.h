#pragma once
// Named shared objects of a run: events, rendezvous points and buffers. Each object locks
// itself; waits have no time-out; nothing is visible outside the process.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

// A buffer's value: bytes kept alive by their owner, so that a value cut out of a script text
// (a whole loaded file, in hexadecimal) is shared by the text and the buffer, not copied.
struct SharedBytes {
    std::shared_ptr<const std::string> owner;
    std::string_view bytes;
};

// One lock and the condition its waiters sleep on.
class CMonitor {
  public:
    CMonitor() = default;
    CMonitor(const CMonitor&) = delete;
    CMonitor& operator=(const CMonitor&) = delete;

  private:
    friend class CMonitorLock;
    std::mutex mutex_;
    std::condition_variable condition_;
};

// Scoped lock of a monitor; Wait gives the lock up atomically with registering as a waiter, so
// a broadcast made under the lock after the caller tested its flag always reaches it.
class CMonitorLock {
  public:
    explicit CMonitorLock(CMonitor& monitor);
    // One wait; it may also end without a broadcast, so callers use WaitUntil.
    void Wait();
    template <class Condition>
    void WaitUntil(Condition met) {
        while (!met()) {
            Wait();
        }
    }
    // Wakes every waiter of the monitor.
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
    // Counts the releasing worker as arrived, without waiting for the point to open.
    void Release() override;

  private:
    bool countArrival(CMonitorLock& lock);
    int participants_ = 0;
};

class CBufferShared : public CBaseSynchro {
  public:
    // Marks the buffer as holding a value and wakes its waiters.
    void Raise();
    // Returns once raised or released; IsReleased tells which.
    void Wait();
    void Release() override;
    // Replaces the value; does not raise.
    void SetValue(std::string value);
    void SetValue(SharedBytes value);
    // The value without a copy of its bytes.
    SharedBytes ShareValue();

  private:
    bool raised_ = false;
    SharedBytes value_;
};
