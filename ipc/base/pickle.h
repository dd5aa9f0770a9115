// Pickle: the serialization buffer of the IPC layer.
//
// A pickle is a small header followed by a payload of items appended one
// after another. Every item starts at a payload offset that is a multiple of
// 4; an item whose length is not a multiple of 4 is followed by 1 to 3 zero
// bytes. The header's first field, `payload_size`, counts the payload bytes up
// to the end of the last item, without the padding after it, so the serialized
// form (`data()`, `size()` bytes) may end on any byte boundary:
//
//   bytes 0..3                      payload_size (uint32, little-endian)
//   bytes 4..header_size-1          the rest of a derived class's header
//   bytes header_size..size()-1     the payload
//
// A pickle is either writable (it owns a heap buffer that grows in steps of
// kPayloadUnit bytes as items are appended) or a read-only view over bytes
// that somebody else owns, typically one message inside a receive buffer.
// Views may start at any address, so every field is loaded and stored with
// byte copies, never through a typed pointer.
//
// Reading uses an iterator owned by the caller: a `void*` that starts out
// null (meaning "the start of the payload") and that each successful read
// advances past the item it consumed, padding included. Every read is bounds
// checked against the end of the payload, whatever lengths the bytes claim;
// reads never change the pickle.
//
//   Pickle p;
//   p.WriteInt(7);
//   p.WriteString("abc");
//   void* iter = nullptr;
//   int i; std::string s;
//   bool ok = p.ReadInt(&iter, &i) && p.ReadString(&iter, &s);
//
// Not thread-safe; a pickle may be read from several threads at once only
// while nobody writes to it.
#ifndef IPC_BASE_PICKLE_H_
#define IPC_BASE_PICKLE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "ipc/base/string16.h"

class Pickle {
 public:
  // The fields every header starts with. Derived classes extend the header
  // with fields of their own; `header_size()` then covers all of it.
  struct Header {
    uint32_t payload_size;  // Bytes of payload after the header.
  };

  // Allocation granule: capacities are multiples of it; also the first
  // capacity of a writable pickle and the largest header size.
  static constexpr size_t kPayloadUnit = 64;
  // `capacity()` of a read-only view.
  static constexpr size_t kCapacityReadOnly = std::numeric_limits<size_t>::max();

  // A writable, empty pickle with the 4-byte header.
  Pickle();

  // A writable, empty pickle whose header is `header_size` bytes rounded up
  // to a multiple of 4 (at least 4, at most kPayloadUnit). Allocates
  // kPayloadUnit bytes; the header bytes after `payload_size` are zero for the
  // derived class to fill.
  explicit Pickle(int header_size);

  // A read-only view over `data_len` bytes at `data`, which must outlive the
  // view. The header size is inferred as `data_len` - `payload_size`. The view
  // is invalid (every read fails, `data()` is null) when `data_len` < 4 or the
  // inferred header size is larger than `data_len`, smaller than 4 or not a
  // multiple of 4.
  Pickle(const char* data, int data_len);

  // A writable deep copy of the header and payload of `other` (of a view too).
  // A copy of an invalid view is an invalid view.
  Pickle(const Pickle& other);
  Pickle& operator=(const Pickle& other);

  // Frees the buffer of a writable pickle; a view frees nothing.
  virtual ~Pickle();

  // The start of the serialized form (the header); null for an invalid view.
  const char* data() const { return header_; }
  // Bytes of the serialized form: header plus unpadded payload.
  size_t size() const { return header_ ? header_size_ + payload_size() : 0; }
  // Header size in bytes (0 for an invalid view).
  size_t header_size() const { return header_size_; }
  // Bytes allocated, or kCapacityReadOnly for a view.
  size_t capacity() const { return capacity_; }
  bool is_read_only() const { return capacity_ == kCapacityReadOnly; }

  // The header's payload size (0 for an invalid view).
  uint32_t payload_size() const { return header_ ? Load<uint32_t>(header_) : 0; }
  // The first payload byte, and one past the last one (null for an invalid
  // view).
  const char* payload() const { return header_ ? header_ + header_size_ : nullptr; }
  const char* end_of_payload() const {
    return header_ ? header_ + header_size_ + payload_size() : nullptr;
  }

  // Reads. Each takes the caller's iterator (null = start of the payload),
  // returns false without moving it when the item does not fit before the end
  // of the payload (or the pickle is invalid), and on success advances it past
  // the item and its padding.

  // 4 bytes, two's complement.
  bool ReadInt(void** iter, int* result) const { return ReadFixed(iter, result); }
  // As ReadInt; fails for a negative value.
  bool ReadLength(void** iter, int* result) const;
  // As ReadInt; any non-zero value reads as true.
  bool ReadBool(void** iter, bool* result) const;
  // 8 bytes.
  bool ReadUInt64(void** iter, uint64_t* result) const { return ReadFixed(iter, result); }
  // `length` raw bytes (then padding). `*data` points into the pickle's
  // buffer; null on failure. Fails for a negative `length`.
  bool ReadBytes(void** iter, const char** data, int length) const;
  // A length field, then that many bytes; `*data` points into the buffer.
  bool ReadData(void** iter, const char** data, int* length) const;
  // A length field, then that many characters, copied into `result`.
  bool ReadString(void** iter, std::string* result) const;
  // A length field (in UTF-16 code units, below 2^30), then the code units,
  // copied into `result`.
  bool ReadWString(void** iter, string16* result) const;

  // Writes (writable pickles only). Each appends at the next 4-aligned payload
  // offset and returns false, leaving the pickle as it was, when the buffer
  // cannot grow, the pickle is a read-only view (whose bytes are never
  // touched) or the length cannot be represented on the wire. A multi-part
  // write (string, data) that fails half way keeps the parts already written.

  // `data_len` bytes, then zero padding to a multiple of 4.
  bool WriteBytes(const void* data, int data_len);
  bool WriteInt(int value) { return WriteFixed(value); }
  // As WriteInt(value ? 1 : 0).
  bool WriteBool(bool value);
  bool WriteUInt64(uint64_t value) { return WriteFixed(value); }
  // The length in bytes (refused above INT_MAX), then the characters.
  bool WriteString(std::string_view value);
  // The length in code units (refused from 2^30 on), then the code units.
  bool WriteWString(std::u16string_view value);
  // The length (refused when negative), then the bytes.
  bool WriteData(const char* data, int length);

  // In a byte range holding serialized pickles back to back, each with a
  // header of `header_size` bytes (a multiple of 4, 4 to kPayloadUnit):
  // returns one past the end of the pickle that begins at `start`, or null
  // when that pickle is not complete within [start, end).
  static const char* FindNext(size_t header_size, const char* start, const char* end);

 protected:
  // The writable header of a writable pickle; null for a view.
  char* mutable_header() { return is_read_only() ? nullptr : header_; }

  // Turns a view into an invalid view (for derived classes that require a
  // particular header size).
  void InvalidateView();

  // Grows the buffer of a writable pickle to `new_capacity` rounded up to a
  // multiple of kPayloadUnit, keeping its contents. False (and nothing
  // changed) when the pickle is a view or the allocation fails.
  bool Resize(size_t new_capacity);

 private:
  // Reserves `length` bytes at the next 4-aligned payload offset, updates
  // `payload_size` and returns where the caller copies the item; null when
  // the pickle is not writable or cannot grow.
  char* BeginWrite(size_t length);

  template <typename T>
  static T Load(const char* p) {
    T value;
    std::memcpy(&value, p, sizeof(T));
    return value;
  }

  // Whether `len` bytes can be read at `iter` without passing the end of the
  // payload. Compared as integers: the iterator comes from the caller and may
  // point anywhere, up to 3 bytes past the end after the last item.
  bool IteratorHasRoomFor(const void* iter, int len) const {
    if (header_ == nullptr || len < 0) return false;
    const uintptr_t pos = reinterpret_cast<uintptr_t>(iter);
    const uintptr_t end = reinterpret_cast<uintptr_t>(end_of_payload());
    if (pos < reinterpret_cast<uintptr_t>(header_) || pos > end) return false;
    const uintptr_t stop = pos + static_cast<uintptr_t>(len);
    return stop >= pos && stop <= end;
  }

  // Resolves a null iterator to the payload start.
  const char* IteratorPosition(void** iter) const {
    return *iter ? static_cast<const char*>(*iter) : payload();
  }

  // Moves the iterator `advance` bytes past `pos`, formed as an integer since
  // after the last item the new position may lie past the viewed bytes.
  static void Advance(void** iter, const char* pos, size_t advance) {
    *iter = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(pos) + advance);
  }

  // Reads one 4- or 8-byte value (no padding follows it).
  template <typename T>
  bool ReadFixed(void** iter, T* result) const {
    static_assert(sizeof(T) % 4 == 0);
    const char* pos = IteratorPosition(iter);
    if (!IteratorHasRoomFor(pos, sizeof(T))) return false;
    *result = Load<T>(pos);
    Advance(iter, pos, sizeof(T));
    return true;
  }

  // Appends one 4- or 8-byte value: stored in place when it fits the buffer,
  // else through the growing path.
  template <typename T>
  bool WriteFixed(T value) {
    static_assert(sizeof(T) % 4 == 0);
    if (!is_read_only() && header_ != nullptr) {
      const uint32_t size = payload_size();
      const size_t offset = (static_cast<size_t>(size) + 3) & ~size_t{3};
      if (header_size_ + offset + sizeof(T) <= capacity_ &&
          offset + sizeof(T) <= std::numeric_limits<uint32_t>::max()) {
        std::memcpy(header_ + header_size_ + offset, &value, sizeof(T));
        set_payload_size(static_cast<uint32_t>(offset + sizeof(T)));
        return true;
      }
    }
    return WriteBytes(&value, sizeof(T));
  }

  void set_payload_size(uint32_t size) { std::memcpy(header_, &size, sizeof(size)); }

  // The buffer: header, then payload. Not typed as a Header pointer because
  // a view's bytes may start at any address.
  char* header_;
  size_t header_size_;
  size_t capacity_;
};

#endif  // IPC_BASE_PICKLE_H_
