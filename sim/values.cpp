#include "values.h"

#include <utility>

ValueStore::ValueStore(std::map<std::string, std::string> initial) : values_(std::move(initial)) {}

void ValueStore::set(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_[name] = value;
}

std::string ValueStore::get(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = values_.find(name);
    return found == values_.end() ? std::string() : found->second;
}
