#include "ipc/base/pickle.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "ipc/base/logging.h"

// The wire format is little-endian and is written with plain byte copies of
// native values.
static_assert(std::endian::native == std::endian::little,
              "the wire format assumes a little-endian platform");

namespace {

constexpr size_t kAlignment = sizeof(uint32_t);

// Rounds `i` up to the next multiple of `alignment` (a power of two).
constexpr size_t AlignInt(size_t i, size_t alignment) {
  return (i + alignment - 1) & ~(alignment - 1);
}

// Largest length a WriteWString accepts: the reader refuses 2^30 units and
// more, and twice the count must fit the int length of the byte copy.
constexpr size_t kMaxWStringLength = (size_t{1} << 30) - 1;

uintptr_t Address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace

Pickle::Pickle() : Pickle(static_cast<int>(sizeof(Header))) {}

Pickle::Pickle(int header_size)
    : header_(nullptr),
      header_size_(AlignInt(static_cast<size_t>(header_size), kAlignment)),
      capacity_(0) {
  DCHECK(static_cast<size_t>(header_size) >= sizeof(Header));
  DCHECK(header_size_ <= kPayloadUnit);
  if (Resize(kPayloadUnit)) {
    std::memset(header_, 0, header_size_);
  } else {
    header_size_ = 0;
  }
}

Pickle::Pickle(const char* data, int data_len)
    : header_(const_cast<char*>(data)), header_size_(0), capacity_(kCapacityReadOnly) {
  if (data == nullptr || data_len < static_cast<int>(sizeof(Header))) {
    InvalidateView();
    return;
  }
  // Computed in 32 bits, as the field is: a payload size larger than the
  // bytes given wraps to a huge header size, which the check below refuses.
  const uint32_t inferred = static_cast<uint32_t>(data_len) - Load<uint32_t>(data);
  if (inferred > static_cast<uint32_t>(data_len) || inferred < sizeof(Header) ||
      inferred % kAlignment != 0) {
    InvalidateView();
    return;
  }
  header_size_ = inferred;
}

Pickle::Pickle(const Pickle& other)
    : header_(nullptr), header_size_(other.header_size_), capacity_(0) {
  if (other.header_ == nullptr) {
    InvalidateView();
    return;
  }
  const size_t size = other.size();
  const bool resized = Resize(AlignInt(size, kPayloadUnit));
  CHECK(resized);
  if (!resized) {
    InvalidateView();
    return;
  }
  std::memcpy(header_, other.header_, size);
  // The bytes after the payload become the padding of the next item written
  // into the copy; they must not carry stale heap contents onto the wire.
  std::memset(header_ + size, 0, capacity_ - size);
}

Pickle& Pickle::operator=(const Pickle& other) {
  if (this == &other) return *this;
  Pickle copy(other);
  std::swap(header_, copy.header_);
  std::swap(header_size_, copy.header_size_);
  std::swap(capacity_, copy.capacity_);
  return *this;
}

Pickle::~Pickle() {
  if (!is_read_only()) std::free(header_);
}

void Pickle::InvalidateView() {
  if (!is_read_only()) std::free(header_);
  header_ = nullptr;
  header_size_ = 0;
  capacity_ = kCapacityReadOnly;
}

// Each read below checks the room for the item, copies it out, and only then
// moves the iterator past the item and its padding.

bool Pickle::ReadLength(void** iter, int* result) const {
  void* probe = *iter;
  int value;
  if (!ReadInt(&probe, &value) || value < 0) return false;
  *result = value;
  *iter = probe;
  return true;
}

bool Pickle::ReadBool(void** iter, bool* result) const {
  int tmp;
  if (!ReadInt(iter, &tmp)) return false;
  DCHECK(0 == tmp || 1 == tmp);
  *result = tmp != 0;
  return true;
}

bool Pickle::ReadBytes(void** iter, const char** data, int length) const {
  *data = nullptr;
  const char* pos = IteratorPosition(iter);
  if (!IteratorHasRoomFor(pos, length)) return false;
  *data = pos;
  Advance(iter, pos, AlignInt(static_cast<size_t>(length), kAlignment));
  return true;
}

bool Pickle::ReadData(void** iter, const char** data, int* length) const {
  *data = nullptr;
  void* probe = *iter;
  int len;
  if (!ReadLength(&probe, &len) || !ReadBytes(&probe, data, len)) return false;
  *length = len;
  *iter = probe;
  return true;
}

bool Pickle::ReadString(void** iter, std::string* result) const {
  void* probe = *iter;
  int len;
  const char* chars;
  if (!ReadLength(&probe, &len) || !ReadBytes(&probe, &chars, len)) return false;
  result->assign(chars, static_cast<size_t>(len));
  *iter = probe;
  return true;
}

bool Pickle::ReadWString(void** iter, string16* result) const {
  void* probe = *iter;
  int len;
  if (!ReadLength(&probe, &len)) return false;
  // Refused before any bounds check, so that 2 * len cannot overflow.
  if (static_cast<size_t>(len) > kMaxWStringLength) return false;
  const char* units;
  if (!ReadBytes(&probe, &units, len * static_cast<int>(sizeof(char16_t)))) return false;
  result->resize(static_cast<size_t>(len));
  if (len > 0) std::memcpy(result->data(), units, static_cast<size_t>(len) * sizeof(char16_t));
  *iter = probe;
  return true;
}

bool Pickle::Resize(size_t new_capacity) {
  CHECK_NE(capacity_, kCapacityReadOnly);
  if (is_read_only()) return false;
  new_capacity = AlignInt(new_capacity, kPayloadUnit);
  void* grown = std::realloc(header_, new_capacity);
  if (grown == nullptr) {
    LOG(ERROR) << "pickle: cannot grow to " << new_capacity << " bytes";
    return false;
  }
  header_ = static_cast<char*>(grown);
  capacity_ = new_capacity;
  return true;
}

char* Pickle::BeginWrite(size_t length) {
  DCHECK(capacity_ != kCapacityReadOnly) << "oops: pickle is readonly";
  if (is_read_only() || header_ == nullptr) return nullptr;
  const size_t offset = AlignInt(payload_size(), kAlignment);
  // The payload size must stay representable in its 32-bit header field.
  if (length > std::numeric_limits<uint32_t>::max() - offset) return nullptr;
  const size_t needed = header_size_ + offset + length;
  if (needed > capacity_ && !Resize(std::max(capacity_ * 2, needed))) return nullptr;
  set_payload_size(static_cast<uint32_t>(offset + length));
  return header_ + header_size_ + offset;
}

bool Pickle::WriteBytes(const void* data, int data_len) {
  if (data_len < 0) return false;
  const size_t length = static_cast<size_t>(data_len);
  char* dest = BeginWrite(length);
  if (dest == nullptr) return false;
  if (length > 0) std::memcpy(dest, data, length);
  const size_t padding = AlignInt(length, kAlignment) - length;
  // The padding lies inside the capacity: the capacity is a multiple of 64
  // and the header size a multiple of 4.
  if (padding > 0) std::memset(dest + length, 0, padding);
  return true;
}

bool Pickle::WriteBool(bool value) { return WriteInt(value ? 1 : 0); }

bool Pickle::WriteString(std::string_view value) {
  if (value.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return false;
  const int length = static_cast<int>(value.size());
  return WriteInt(length) && WriteBytes(value.data(), length);
}

bool Pickle::WriteWString(std::u16string_view value) {
  if (value.size() > kMaxWStringLength) return false;
  const int length = static_cast<int>(value.size());
  return WriteInt(length) &&
         WriteBytes(value.data(), length * static_cast<int>(sizeof(char16_t)));
}

bool Pickle::WriteData(const char* data, int length) {
  if (length < 0) return false;
  return WriteInt(length) && WriteBytes(data, length);
}

const char* Pickle::FindNext(size_t header_size, const char* start, const char* end) {
  DCHECK(header_size % kAlignment == 0);
  DCHECK(header_size <= kPayloadUnit);
  const uintptr_t first = Address(start);
  const uintptr_t last = Address(end);
  // The header, with its payload size, must be there before it is read.
  if (start == nullptr || last < first || last - first < std::max(header_size, sizeof(Header))) {
    return nullptr;
  }
  const uintptr_t payload_end = first + header_size + Load<uint32_t>(start);
  if (payload_end < first || payload_end > last) return nullptr;
  return start + (payload_end - first);
}
