#pragma once
// The set of objects of one kind that are alive right now. The host hands our
// opaque pointers back to us; checking them here first means a null, stale
// or foreign pointer is refused instead of being followed.
#include <mutex>
#include <set>
#include <vector>

namespace node_standin {

template <typename T>
class LiveRegistry {
 public:
  void Add(const T* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    live_.insert(object);
  }
  void Remove(const T* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    live_.erase(object);
  }
  std::vector<T*> Items() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<T*> items;
    for (const T* object : live_) items.push_back(const_cast<T*>(object));
    return items;
  }
  bool Contains(const T* object) const {
    if (object == nullptr) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return live_.count(object) != 0;
  }

 private:
  mutable std::mutex mutex_;
  std::set<const T*> live_;
};

// Keeps one object registered for the lifetime of the guard.
template <typename T>
class Registration {
 public:
  Registration(LiveRegistry<T>* registry, const T* object) : registry_(registry), object_(object) {
    registry_->Add(object_);
  }
  ~Registration() { registry_->Remove(object_); }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

 private:
  LiveRegistry<T>* registry_;
  const T* object_;
};

struct EngineString;
// Engine strings handed to callbacks that are still in use.
LiveRegistry<EngineString>& EngineStrings();

}  // namespace node_standin
