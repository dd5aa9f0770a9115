// Callbacks run at process exit, in reverse order of registration.
//
// The process has one AtExitManager, a static object made before the entry
// point runs and destroyed after it returns; its destructor runs the
// callbacks. Registering without a manager does nothing.
#ifndef IPC_BASE_AT_EXIT_H_
#define IPC_BASE_AT_EXIT_H_

#include <utility>
#include <vector>

#include "ipc/base/lock.h"

namespace ipcbase {

class AtExitManager {
 public:
  using AtExitCallbackType = void (*)(void*);

  AtExitManager();
  ~AtExitManager();
  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;

  // Pushes func(param) on the current manager's stack; without a manager
  // (or with a null func) nothing happens.
  static void RegisterCallback(AtExitCallbackType func, void* param);

  // Pops and runs every callback now, newest first; callbacks registered by a
  // callback run too.
  static void ProcessCallbacksNow();

 private:
  Lock lock_;
  std::vector<std::pair<AtExitCallbackType, void*>> stack_;
};

}  // namespace ipcbase

#endif  // IPC_BASE_AT_EXIT_H_
