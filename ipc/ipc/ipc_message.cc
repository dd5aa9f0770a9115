#include "ipc/ipc/ipc_message.h"

#include <cstring>

#include "ipc/base/logging.h"

namespace IPC {

Message::Message(int32_t routing_id, uint32_t type, PriorityValue priority)
    : Pickle(static_cast<int>(sizeof(Header))) {
  char* header = mutable_header();
  if (header == nullptr) return;
  const uint32_t flags = static_cast<uint32_t>(priority);
  std::memcpy(header + offsetof(Header, routing), &routing_id, sizeof(routing_id));
  std::memcpy(header + offsetof(Header, type), &type, sizeof(type));
  std::memcpy(header + offsetof(Header, flags), &flags, sizeof(flags));
}

Message::Message(const char* data, int data_len) : Pickle(data, data_len) {
  // A shorter inferred header would make the routing, type and flag fields
  // overlap the payload or lie outside the bytes.
  if (header_size() != sizeof(Header)) InvalidateView();
}

uint32_t Message::LoadField(size_t offset) const {
  DCHECK(header_size() == sizeof(Header));
  if (data() == nullptr || header_size() < offset + sizeof(uint32_t)) return 0;
  uint32_t value;
  std::memcpy(&value, data() + offset, sizeof(value));
  return value;
}

Message::Header Message::header() const {
  Header h{};
  if (data() != nullptr && header_size() == sizeof(Header)) std::memcpy(&h, data(), sizeof(h));
  return h;
}

int32_t Message::routing_id() const {
  return static_cast<int32_t>(LoadField(offsetof(Header, routing)));
}

uint32_t Message::type() const { return LoadField(offsetof(Header, type)); }

uint32_t Message::flags() const { return LoadField(offsetof(Header, flags)); }

void Message::AddFlags(uint32_t bits) {
  char* header = mutable_header();
  DCHECK(header != nullptr) << "oops: message is readonly";
  if (header == nullptr || header_size() != sizeof(Header)) return;
  const uint32_t flags = LoadField(offsetof(Header, flags)) | bits;
  std::memcpy(header + offsetof(Header, flags), &flags, sizeof(flags));
}

const char* Message::FindNext(const char* range_start, const char* range_end) {
  return Pickle::FindNext(sizeof(Header), range_start, range_end);
}

}  // namespace IPC
