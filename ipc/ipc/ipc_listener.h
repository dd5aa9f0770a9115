// The interface through which a channel reports to its owner. Known to the
// channel's users as IPC::Channel::Listener.
#ifndef IPC_IPC_IPC_LISTENER_H_
#define IPC_IPC_IPC_LISTENER_H_

#include <cstdint>

namespace IPC {

class Message;

class ChannelListener {
 public:
  virtual ~ChannelListener() = default;

  // One complete message from the peer, the peer's hello excluded. The
  // message may be a view into the channel's buffer that is valid only for
  // the call; keep a copy to keep it.
  virtual void OnMessageReceived(const Message& message) = 0;

  // The peer's hello has arrived; `peer_pid` is its process id (-1 when the
  // hello carried none).
  virtual void OnChannelConnected(int32_t peer_pid) { (void)peer_pid; }

  // The pipe failed or the peer went away; the channel is closed.
  virtual void OnChannelError() {}
};

}  // namespace IPC

#endif  // IPC_IPC_IPC_LISTENER_H_
