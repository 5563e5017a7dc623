#pragma once
// Values that NAME=VALUE commands set and NAME? queries read back.

#include <map>
#include <mutex>
#include <string>

class ValueStore {
  public:
    explicit ValueStore(std::map<std::string, std::string> initial = {});
    void set(const std::string& name, const std::string& value);
    // Empty for a name never set.
    std::string get(const std::string& name);

  private:
    std::mutex mutex_;  // a server-wide store is shared by every connection's thread
    std::map<std::string, std::string> values_;
};
