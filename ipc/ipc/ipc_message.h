// IPC::Message: the unit that travels over a channel.
//
// A message is a Pickle with a 16-byte header:
//
//   offset 0   uint32  payload_size   payload bytes after the header (unpadded)
//   offset 4   int32   routing        receiving object, or a reserved id below
//   offset 8   uint32  type           message type
//   offset 12  uint32  flags          priority (bits 0-1) and the flag bits
//   offset 16          payload        the parameters, encoded by Pickle
//
// all little-endian. A message occupies exactly 16 + payload_size bytes on
// the pipe; consecutive messages follow each other without gaps, and
// `FindNext` finds where one ends.
#ifndef IPC_IPC_IPC_MESSAGE_H_
#define IPC_IPC_IPC_MESSAGE_H_

#include <cstddef>
#include <cstdint>

#include "ipc/base/pickle.h"

namespace IPC {

// Control messages, addressed to the process as a whole.
inline constexpr int32_t kRoutingIdControl = 0x7FFFFFFF;
// The routing id of the hello message that opens a channel.
inline constexpr int32_t kRoutingIdNone = -2;
// The hello message: routing kRoutingIdNone, payload one int32 (the sender's
// process id).
inline constexpr uint32_t kHelloMessageType = 0x0000FFFF;
// Every reply to a synchronous request; its routing id is the request's.
inline constexpr uint32_t kReplyMessageType = 0xFFFFFFF0;

class Message : public Pickle {
 public:
  // Priority, the low two bits of the flag word. It has no effect on
  // ordering or delivery; every message this system creates is
  // PRIORITY_NORMAL.
  enum PriorityValue {
    PRIORITY_LOW = 1,
    PRIORITY_NORMAL = 2,
    PRIORITY_HIGH = 3,
  };

  // Bits of the flag word. Bits from 0x40 on are never set and are ignored.
  enum : uint32_t {
    PRIORITY_MASK = 0x03,
    SYNC_BIT = 0x04,         // a synchronous request
    REPLY_BIT = 0x08,        // the reply to a synchronous request
    REPLY_ERROR_BIT = 0x10,  // the request was not handled; no outputs follow
    UNBLOCK_BIT = 0x20,      // may be dispatched while the receiver waits
  };

  // The header as it is on the wire.
  struct Header {
    uint32_t payload_size;
    int32_t routing;
    uint32_t type;
    uint32_t flags;
  };
  static_assert(sizeof(Header) == 16, "the message header is 16 bytes");

  // A writable message with an empty payload; flags = `priority`.
  Message(int32_t routing_id, uint32_t type, PriorityValue priority);

  // A read-only view over one serialized message of `data_len` bytes, which
  // must outlive the view. Invalid (every read fails, every accessor returns
  // 0) unless the bytes hold a 16-byte header and exactly `payload_size`
  // payload bytes.
  Message(const char* data, int data_len);

  // A writable deep copy of header and payload.
  Message(const Message& other) = default;
  Message& operator=(const Message& other) = default;
  ~Message() override = default;

  // A copy of the header fields (zero for an invalid view).
  Header header() const;

  int32_t routing_id() const;
  uint32_t type() const;
  uint32_t flags() const;
  PriorityValue priority() const { return static_cast<PriorityValue>(flags() & PRIORITY_MASK); }
  bool is_sync() const { return (flags() & SYNC_BIT) != 0; }
  bool is_reply() const { return (flags() & REPLY_BIT) != 0; }
  bool is_reply_error() const { return (flags() & REPLY_ERROR_BIT) != 0; }
  bool should_unblock() const { return (flags() & UNBLOCK_BIT) != 0; }

  // Each ORs its bit into the flags of a writable message; on a read-only
  // view they do nothing (the viewed bytes are never written).
  void set_sync() { AddFlags(SYNC_BIT); }
  void set_reply() { AddFlags(REPLY_BIT); }
  void set_reply_error() { AddFlags(REPLY_ERROR_BIT); }
  void set_unblock() { AddFlags(UNBLOCK_BIT); }

  // The end of the complete message that begins at `range_start`, or null
  // when [range_start, range_end) does not yet hold all of it.
  static const char* FindNext(const char* range_start, const char* range_end);

 private:
  // The 32-bit header field at byte `offset`; 0 for an invalid view.
  uint32_t LoadField(size_t offset) const;
  void AddFlags(uint32_t bits);
};

}  // namespace IPC

#endif  // IPC_IPC_IPC_MESSAGE_H_
