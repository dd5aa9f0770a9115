// The host end as a child process, for the tests that need a host that
// lives in another process. Usage:
//   host_test_helper die-on-request <channel id> <ready id>
//       creates the channel's pipe, signals <ready id>, accepts the
//       sub-process, and serves it until the first synchronous request
//       arrives; then the process ends at once, without answering (exit
//       code 7). Exit code 1 when something fails before that.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/host_channel.h"
#include "host/ready_signal.h"

namespace {

constexpr int64_t kDeadlineMs = 30000;

int DieOnRequest(const char* channel_id, const char* ready_id) {
  auto host = host::HostChannel::Create(channel_id);
  if (!host || !host::SignalReady(ready_id) || !host->Accept(kDeadlineMs)) return 1;
  // Nothing of the pipe's name stays behind when the process dies.
  host->StopListening();
  std::unique_ptr<IPC::Message> message;
  while (host->Next(kDeadlineMs, &message) == host::HostChannel::ReadResult::kMessage) {
    if (message->is_sync()) std::_Exit(7);  // dies mid-request
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "die-on-request") == 0) {
    return DieOnRequest(argv[2], argv[3]);
  }
  return 2;
}
