#pragma once
// Values that NAME=VALUE commands set and NAME? queries read back.

#include <chrono>
#include <map>
#include <mutex>
#include <string>

class ValueStore {
  public:
    explicit ValueStore(std::map<std::string, std::string> initial = {});
    void set(const std::string& name, const std::string& value);
    // Empty for a name never set.
    std::string get(const std::string& name);
    // When the store began: the server's start for server-wide values, since a device's
    // loading state belongs to the device, else the connection's.
    std::chrono::steady_clock::time_point startedAt() const { return startedAt_; }

  private:
    std::mutex mutex_;  // a server-wide store is shared by every connection's thread
    std::map<std::string, std::string> values_;
    const std::chrono::steady_clock::time_point startedAt_ = std::chrono::steady_clock::now();
};
