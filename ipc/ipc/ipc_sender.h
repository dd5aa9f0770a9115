// The sending half of a channel, as its users see it.
#ifndef IPC_IPC_IPC_SENDER_H_
#define IPC_IPC_IPC_SENDER_H_

namespace IPC {

class Message;

class MessageSender {
 public:
  virtual ~MessageSender() = default;

  // Sends `message`, taking ownership of it in every case (also when the
  // send fails). What true means is up to the implementation: queued for
  // writing (IPC::Channel), handed to the IO thread (IPC::ChannelProxy), or
  // answered (a synchronous send of IPC::SyncChannel).
  virtual bool Send(Message* message) = 0;
};

}  // namespace IPC

#endif  // IPC_IPC_IPC_SENDER_H_
