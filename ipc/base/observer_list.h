// A list of observers that may change while it is being notified.
//
// Notification walks the list by index and skips removed entries; removing an
// observer during a notification only nulls its entry (compacted when the
// outermost notification ends); an observer added during a notification is
// notified in the same pass.
#ifndef IPC_BASE_OBSERVER_LIST_H_
#define IPC_BASE_OBSERVER_LIST_H_

#include <algorithm>
#include <vector>

#include "ipc/base/logging.h"

namespace ipcbase {

template <typename Observer>
class ObserverList {
 public:
  ObserverList() = default;
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;

  // Adding an observer twice is a caller error.
  void AddObserver(Observer* obs) {
    DCHECK(std::find(observers_.begin(), observers_.end(), obs) == observers_.end())
        << "Observers can only be added once!";
    observers_.push_back(obs);
  }

  void RemoveObserver(Observer* obs) {
    auto it = std::find(observers_.begin(), observers_.end(), obs);
    if (it == observers_.end()) return;
    if (notify_depth_ > 0) {
      *it = nullptr;
    } else {
      observers_.erase(it);
    }
  }

  bool HasObserver(const Observer* obs) const {
    return std::find(observers_.begin(), observers_.end(), obs) != observers_.end();
  }

  // Calls f(observer) for each observer, in order of addition.
  template <typename F>
  void Notify(F&& f) {
    ++notify_depth_;
    for (size_t i = 0; i < observers_.size(); ++i) {
      if (Observer* obs = observers_[i]) f(obs);
    }
    if (--notify_depth_ == 0) {
      observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr),
                       observers_.end());
    }
  }

  // The number of observers not removed (entries nulled during a
  // notification excluded).
  size_t size() const {
    return static_cast<size_t>(
        std::count_if(observers_.begin(), observers_.end(), [](Observer* o) { return o; }));
  }

 private:
  std::vector<Observer*> observers_;
  int notify_depth_ = 0;
};

}  // namespace ipcbase

#endif  // IPC_BASE_OBSERVER_LIST_H_
