// Synchronous requests and their replies.
//
// A synchronous request is a Message with SYNC_BIT and UNBLOCK_BIT set whose
// payload starts with a 32-bit request id; its reply has type
// kReplyMessageType, the request's routing id and priority, REPLY_BIT (plus
// REPLY_ERROR_BIT when the request was not handled), and a payload that
// starts with the same request id, followed by the output values (none in an
// error reply):
//
//   request  flags 0x26   payload: int32 request id, input parameters
//   reply    flags 0x0A   payload: int32 request id, output parameters
//            flags 0x1A   payload: int32 request id            (error)
//
// The request carries the object that will read the reply's outputs
// (a MessageReplyDeserializer); the sync channel takes it before sending.
#ifndef IPC_IPC_IPC_SYNC_MESSAGE_H_
#define IPC_IPC_IPC_SYNC_MESSAGE_H_

#include <cstdint>
#include <memory>

#include "ipc/ipc/ipc_message.h"

namespace IPC {

// Reads the output values of a reply into the variables of whoever sent the
// request.
class MessageReplyDeserializer {
 public:
  virtual ~MessageReplyDeserializer() = default;

  // Reads the outputs that follow the request id of `reply`. False when the
  // reply has no request id or an output does not decode (outputs read before
  // the failing one keep their new values).
  bool ReadOutputs(const Message& reply);

 private:
  // Reads the outputs starting at `iter`, which lies just behind the request
  // id.
  virtual bool ReadOutputsAt(const Message& reply, void** iter) = 0;
};

class SyncMessage : public Message {
 public:
  // Bytes of payload taken by the request id.
  static constexpr uint32_t kSyncMessageHeaderSize = 4;

  // A request with these header values, SYNC_BIT and UNBLOCK_BIT set, and the
  // next request id of the process written as its first payload item. Request
  // ids come from one process-wide counter, 0 for the first request, taken
  // atomically from any thread and wrapping at 2^32. `deserializer` reads the
  // reply's outputs; it must not be null.
  SyncMessage(int32_t routing_id, uint32_t type, PriorityValue priority,
              std::unique_ptr<MessageReplyDeserializer> deserializer);
  ~SyncMessage() override;

  // The deserializer is owned by exactly one request.
  SyncMessage(const SyncMessage&) = delete;
  SyncMessage& operator=(const SyncMessage&) = delete;

  // Hands over the reply deserializer; null afterwards (and on a second call).
  std::unique_ptr<MessageReplyDeserializer> TakeReplyDeserializer();

  // The request id of a request or reply; 0 for any other message and when
  // the id cannot be read.
  static int GetRequestId(const Message& msg);

  // Whether `msg` is a reply (REPLY_BIT) that carries a readable request id
  // equal to `request_id`. A reply without a readable id answers no request.
  static bool IsReplyTo(const Message& msg, int request_id);

  // A new reply to `request`: type kReplyMessageType, the request's routing id
  // and priority, REPLY_BIT, the request's id, no outputs. The caller may set
  // REPLY_ERROR_BIT or append outputs before sending it.
  static std::unique_ptr<Message> MakeReply(const Message& request);

  // Reads the request id, the first payload item. False when it is missing.
  static bool ReadRequestId(const Message& msg, int* request_id);
  // Writes `request_id` as the first payload item of `msg`, a writable
  // request or reply with an empty payload. False (and nothing written) when
  // the payload is not empty or the write fails.
  static bool WriteRequestId(Message* msg, int request_id);

 private:
  std::unique_ptr<MessageReplyDeserializer> reply_deserializer_;
};

}  // namespace IPC

#endif  // IPC_IPC_IPC_SYNC_MESSAGE_H_
