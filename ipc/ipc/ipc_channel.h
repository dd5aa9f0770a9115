// IPC::Channel: messages in both directions over one named pipe to the host.
//
// The host creates the pipe "\\.\pipe\chrome." + channel id; the channel
// opens it as the client at construction and then does all its work on one
// IO thread, through that thread's MessageLoopForIO: one overlapped read of
// kReadBufferSize bytes is always outstanding while the channel is healthy,
// incoming bytes are cut into messages (reassembling those that span reads),
// and outgoing messages are written whole, one at a time, in Send order,
// starting with this process's hello message.
//
//   IPC::Channel channel("1234", IPC::Channel::MODE_CLIENT, &listener);
//   // on the IO thread:
//   channel.Connect();                 // starts reading, writes the hello
//   channel.Send(new IPC::Message(...));
//   channel.Close();                   // or destroy it
//
// The listener is called on the IO thread. The peer's hello is reported as
// OnChannelConnected(peer pid) and never reaches OnMessageReceived. Nothing
// here is locked: use it from the IO thread only (IPC::ChannelProxy carries
// calls across threads). A listener may call Close from inside a callback
// but must not destroy the channel there.
#ifndef IPC_IPC_IPC_CHANNEL_H_
#define IPC_IPC_IPC_CHANNEL_H_

#include <cstddef>
#include <memory>
#include <string>

#include "ipc/ipc/ipc_listener.h"
#include "ipc/ipc/ipc_sender.h"

namespace IPC {

class Channel : public MessageSender {
 public:
  using Listener = ChannelListener;

  enum Mode {
    // Would create the pipe and wait for the peer. Not supported: the host
    // owns the server end, so a server-mode channel stays without a pipe.
    MODE_SERVER = 0,
    // Opens the pipe that the host created.
    MODE_CLIENT = 1,
  };

  // The size of every read.
  static constexpr size_t kReadBufferSize = 4096;
  // The largest message (header included) that is reassembled; a larger one
  // fails the channel with the error "IPC message is too big".
  static constexpr size_t kMaximumMessageSize = 268435456;

  // Opens the pipe now, on the calling thread. A failure is logged (the
  // warnings "failed to create pipe: <code>" and "Unable to create pipe
  // named "<id>" in client mode.") and leaves a channel without a pipe, whose
  // Connect returns false. `listener` is not owned and must outlive the
  // channel.
  Channel(const std::string& channel_id, Mode mode, Listener* listener);
  // Closes the channel (on the IO thread, when it was connected).
  ~Channel() override;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // The pipe name of a channel id: "\\.\pipe\chrome." followed by the id,
  // each byte widened to one UTF-16 unit. The host end uses it too.
  static std::u16string PipeName(const std::string& channel_id);

  // On the IO thread: joins the thread's completion port, starts reading and
  // writes the hello message. False when there is no pipe.
  bool Connect();

  // On the IO thread, after Connect; takes ownership. Queues the message and
  // starts writing it unless a write is in progress. False when the write
  // cannot be started (the message stays queued until Close deletes it).
  bool Send(Message* message) override;

  // On the IO thread: cancels the outstanding read and write, closes the
  // pipe, waits until the cancelled operations have completed, and deletes
  // the messages not yet written. The listener hears nothing of it. A closed
  // channel is not reopened.
  void Close();

 private:
  class ChannelImpl;
  std::unique_ptr<ChannelImpl> channel_impl_;
};

}  // namespace IPC

#endif  // IPC_IPC_IPC_CHANNEL_H_
