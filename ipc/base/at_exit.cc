#include "ipc/base/at_exit.h"

#include "ipc/base/logging.h"

namespace ipcbase {
namespace {
AtExitManager* g_top_manager = nullptr;
}  // namespace

AtExitManager::AtExitManager() {
  DCHECK(!g_top_manager);
  g_top_manager = this;
}

AtExitManager::~AtExitManager() {
  if (!g_top_manager) {
    NOTREACHED() << "Tried to ~AtExitManager without an AtExitManager";
    return;
  }
  DCHECK(g_top_manager == this);
  ProcessCallbacksNow();
  g_top_manager = nullptr;
}

void AtExitManager::RegisterCallback(AtExitCallbackType func, void* param) {
  if (!g_top_manager) {
    NOTREACHED() << "Tried to RegisterCallback without an AtExitManager";
    return;
  }
  DCHECK(func);
  if (!func) return;
  AutoLock hold(g_top_manager->lock_);
  g_top_manager->stack_.emplace_back(func, param);
}

void AtExitManager::ProcessCallbacksNow() {
  if (!g_top_manager) {
    NOTREACHED() << "Tried to ProcessCallbacksNow without an AtExitManager";
    return;
  }
  AtExitManager* manager = g_top_manager;
  // The lock is not held while a callback runs, so that a callback may
  // register more callbacks (they run in this same pass).
  for (;;) {
    std::pair<AtExitCallbackType, void*> top;
    {
      AutoLock hold(manager->lock_);
      if (manager->stack_.empty()) break;
      top = manager->stack_.back();
      manager->stack_.pop_back();
    }
    top.first(top.second);
  }
}

}  // namespace ipcbase
