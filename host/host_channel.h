// The host's end of one channel, for tests, the demo and the benchmarks.
//
// The host creates the pipe "\\.\pipe\chrome." + channel id as its server
// (the same name rule as IPC::Channel, through the platform layer), accepts
// the sub-process, sends its hello, and then exchanges IPC::Messages with
// blocking calls that each take a timeout in milliseconds (-1: no limit):
//
//   auto host = host::HostChannel::Create("1234");
//   // start the sub-process with --vemo_ipc_channel_name=1234 ...
//   host->Accept(30000);                         // sends the host's hello
//   host->SetSyncHandler(ViewHostMsg_CreateIpcChannel::ID,
//                        [](const IPC::Message& request, IPC::Message* reply) {
//                          ViewHostMsg_CreateIpcChannel::WriteReplyParams(
//                              reply, std::make_tuple(std::string("render.1")));
//                          return true;            // false: an error reply
//                        });
//   host->Send(ViewMsg_NavigateTo(1, "https://example.org/"));
//   std::unique_ptr<IPC::Message> message;
//   host->Next(30000, &message);                 // answers sync requests
//
// Not part of the product; one thread uses an object at a time.
#ifndef HOST_HOST_CHANNEL_H_
#define HOST_HOST_CHANNEL_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ipc/base/platform/io_handle.h"
#include "ipc/base/platform/pipe.h"
#include "ipc/ipc/ipc_message.h"

namespace host {

class HostChannel {
 public:
  enum class ReadResult {
    kMessage,  // *message holds one whole message
    kTimeout,  // nothing complete arrived in time
    kClosed,   // the peer closed the pipe (or it was never connected)
    kError,    // the pipe failed (logged)
  };

  // Answers one synchronous request: writes the outputs into `reply` (made
  // by IPC::SyncMessage::MakeReply) and returns true, or returns false to
  // have an error reply (REPLY_ERROR_BIT, no outputs) sent instead.
  using SyncHandler = std::function<bool(const IPC::Message& request, IPC::Message* reply)>;

  // Creates the pipe IPC::Channel::PipeName(channel_id) as its server. Null (logged) when it cannot be created,
  // e.g. when another server has the name.
  static std::unique_ptr<HostChannel> Create(const std::string& channel_id);

  // Closes the connection and removes the pipe's name.
  ~HostChannel();
  HostChannel(const HostChannel&) = delete;
  HostChannel& operator=(const HostChannel&) = delete;

  // Waits for the sub-process to open the pipe, then sends the host's hello
  // with `hello_pid` (this process's id when negative). False on timeout or
  // failure.
  bool Accept(int64_t timeout_ms, int32_t hello_pid = -1);

  // Removes the pipe's name after Accept; the connection stays. A host that
  // means to die abruptly calls it first, so it leaves nothing behind.
  void StopListening();

  // Writes one message (or raw bytes) whole, blocking. False when the pipe
  // is closed or broken.
  bool Send(const IPC::Message& message);
  bool SendBytes(const void* data, size_t size);

  // The next whole message from the peer, its hello included, exactly as
  // received (a writable copy).
  ReadResult Read(int64_t timeout_ms, std::unique_ptr<IPC::Message>* message);

  // Registers the handler for synchronous requests of `type` (replacing an
  // earlier one); a null handler removes it.
  void SetSyncHandler(uint32_t type, SyncHandler handler);

  // Like Read, but the peer's hello is recorded (peer_pid) and synchronous
  // requests that have a handler are answered here; everything else, a
  // request without a handler included, is returned. The timeout covers
  // the whole call.
  ReadResult Next(int64_t timeout_ms, std::unique_ptr<IPC::Message>* message);

  // Answers `request` with an error reply / with `reply`. False when the
  // write fails.
  bool SendErrorReply(const IPC::Message& request);

  // Serves (as Next does) until the peer closes the pipe or the timeout
  // ends; messages that are not answered here are dropped. kClosed when the
  // peer closed.
  ReadResult ServeUntilClosed(int64_t timeout_ms);

  // Closes the connection; the peer sees the pipe break.
  void CloseConnection();

  // The process id from the peer's hello, -1 until Next has seen it.
  int32_t peer_pid() const { return peer_pid_; }
  bool connected() const { return stream_ != ipcbase::platform::kInvalidIoHandle; }

 private:
  explicit HostChannel(std::unique_ptr<ipcbase::platform::PipeServer> server);
  // Answers a request with a handler; false when it has none.
  bool AnswerRequest(const IPC::Message& request, bool* write_ok);

  std::unique_ptr<ipcbase::platform::PipeServer> server_;
  ipcbase::platform::IoHandle stream_ = ipcbase::platform::kInvalidIoHandle;
  std::string received_;  // bytes read but not yet returned as a message
  size_t received_start_ = 0;
  std::map<uint32_t, SyncHandler> handlers_;
  int32_t peer_pid_ = -1;
};

}  // namespace host

#endif  // HOST_HOST_CHANNEL_H_
