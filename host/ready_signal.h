// A one-shot "ready" from one process to another, over a pipe of its own:
// a parent that starts a host (or any peer that must set something up
// first) waits on it instead of guessing when the peer is ready.
//
//   auto ready = host::ReadyWaiter::Create("abc");   // parent, before starting
//   // child: ... set up ...; host::SignalReady("abc");
//   ready->Wait(30000);                               // parent
#ifndef HOST_READY_SIGNAL_H_
#define HOST_READY_SIGNAL_H_

#include <cstdint>
#include <memory>
#include <string>

#include "ipc/base/platform/pipe.h"

namespace host {

class ReadyWaiter {
 public:
  // Creates the signal's pipe; null (logged) on failure.
  static std::unique_ptr<ReadyWaiter> Create(const std::string& id);
  ~ReadyWaiter();

  // True once the peer has signalled, false when it did not within
  // timeout_ms (or signalled failure).
  bool Wait(int64_t timeout_ms);

 private:
  explicit ReadyWaiter(std::unique_ptr<ipcbase::platform::PipeServer> server)
      : server_(std::move(server)) {}
  std::unique_ptr<ipcbase::platform::PipeServer> server_;
};

// Signals the waiter of `id`; false when there is none.
bool SignalReady(const std::string& id);

}  // namespace host

#endif  // HOST_READY_SIGNAL_H_
