#include "ipc/ipc/ipc_sync_message.h"

#include <atomic>
#include <utility>

#include "ipc/base/logging.h"

namespace IPC {
namespace {

// The process-wide request id counter.
std::atomic<uint32_t> next_request_id_{0};

}  // namespace

bool MessageReplyDeserializer::ReadOutputs(const Message& reply) {
  void* iter = nullptr;
  int request_id;
  if (!reply.ReadInt(&iter, &request_id)) return false;
  return ReadOutputsAt(reply, &iter);
}

SyncMessage::SyncMessage(int32_t routing_id, uint32_t type, PriorityValue priority,
                         std::unique_ptr<MessageReplyDeserializer> deserializer)
    : Message(routing_id, type, priority), reply_deserializer_(std::move(deserializer)) {
  DCHECK(reply_deserializer_);
  set_sync();
  set_unblock();
  const uint32_t id = next_request_id_.fetch_add(1, std::memory_order_relaxed);
  WriteRequestId(this, static_cast<int>(id));
}

SyncMessage::~SyncMessage() = default;

std::unique_ptr<MessageReplyDeserializer> SyncMessage::TakeReplyDeserializer() {
  DCHECK(reply_deserializer_) << "rv";
  return std::move(reply_deserializer_);
}

int SyncMessage::GetRequestId(const Message& msg) {
  if (!msg.is_sync() && !msg.is_reply()) return 0;
  int request_id;
  if (!ReadRequestId(msg, &request_id)) return 0;
  return request_id;
}

bool SyncMessage::IsReplyTo(const Message& msg, int request_id) {
  if (!msg.is_reply()) return false;
  int id;
  return ReadRequestId(msg, &id) && id == request_id;
}

std::unique_ptr<Message> SyncMessage::MakeReply(const Message& request) {
  DCHECK(request.is_sync());
  auto reply =
      std::make_unique<Message>(request.routing_id(), kReplyMessageType, request.priority());
  reply->set_reply();
  WriteRequestId(reply.get(), GetRequestId(request));
  return reply;
}

bool SyncMessage::ReadRequestId(const Message& msg, int* request_id) {
  DCHECK(msg.is_sync() || msg.is_reply());
  void* iter = nullptr;
  if (!msg.ReadInt(&iter, request_id)) {
    NOTREACHED();
    return false;
  }
  return true;
}

bool SyncMessage::WriteRequestId(Message* msg, int request_id) {
  DCHECK(msg->is_sync() || msg->is_reply());
  DCHECK(msg->payload_size() == 0);
  if (msg->payload_size() != 0 || !msg->WriteInt(request_id)) {
    NOTREACHED();
    return false;
  }
  DCHECK(kSyncMessageHeaderSize == msg->payload_size());
  return true;
}

}  // namespace IPC
