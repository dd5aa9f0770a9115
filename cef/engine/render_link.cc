#include "cef/engine/render_link.h"

#include <cstring>

#include "ipc/base/pickle.h"

namespace cef_engine {
namespace {

constexpr size_t kReadChunk = 64 * 1024;

void PutU32(char* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

uint32_t GetU32(const char* in) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(in[i])) << (8 * i);
  return value;
}

// Value tags of the list encoding.
enum Tag : int { kNull = 0, kBool = 1, kInt = 2, kDouble = 3, kString = 4 };

}  // namespace

bool RenderLinkWriter::Send(RenderMessage type, const std::string& payload) {
  if (payload.size() > kMaxRenderFrameBody - 4) return false;
  std::string frame(8 + payload.size(), '\0');
  PutU32(frame.data(), static_cast<uint32_t>(payload.size() + 4));
  PutU32(frame.data() + 4, static_cast<uint32_t>(type));
  if (!payload.empty()) std::memcpy(frame.data() + 8, payload.data(), payload.size());
  return transport_->Write(frame.data(), frame.size());
}

bool RenderLinkReader::ReadExactly(char* buffer, size_t size, bool* closed_cleanly) {
  size_t done = 0;
  *closed_cleanly = false;
  while (done < size) {
    if (pending_offset_ < pending_.size()) {
      size_t take = std::min(size - done, pending_.size() - pending_offset_);
      std::memcpy(buffer + done, pending_.data() + pending_offset_, take);
      pending_offset_ += take;
      done += take;
      continue;
    }
    pending_.resize(kReadChunk);
    pending_offset_ = 0;
    long n = transport_->Read(pending_.data(), pending_.size());
    if (n <= 0) {
      pending_.clear();
      *closed_cleanly = n == 0 && done == 0;
      return false;
    }
    pending_.resize(static_cast<size_t>(n));
  }
  return true;
}

RenderLinkReader::Result RenderLinkReader::Next(uint32_t* type, std::string* payload) {
  char header[8];
  bool closed_cleanly = false;
  if (!ReadExactly(header, sizeof(header), &closed_cleanly)) {
    return closed_cleanly ? Result::kClosed : Result::kBroken;
  }
  const uint32_t body = GetU32(header);
  if (body < 4 || body > kMaxRenderFrameBody) return Result::kBroken;
  *type = GetU32(header + 4);
  payload->resize(body - 4);
  if (body > 4 && !ReadExactly(payload->data(), payload->size(), &closed_cleanly)) {
    return Result::kBroken;
  }
  return Result::kMessage;
}

std::string EncodeList(const cef_internal::ListValueImpl& list) {
  Pickle pickle;
  pickle.WriteInt(static_cast<int>(list.values().size()));
  for (const auto& value : list.values()) {
    if (const bool* b = std::get_if<bool>(&value)) {
      pickle.WriteInt(kBool);
      pickle.WriteBool(*b);
    } else if (const int* i = std::get_if<int>(&value)) {
      pickle.WriteInt(kInt);
      pickle.WriteInt(*i);
    } else if (const double* d = std::get_if<double>(&value)) {
      uint64_t bits;
      std::memcpy(&bits, d, sizeof(bits));
      pickle.WriteInt(kDouble);
      pickle.WriteUInt64(bits);
    } else if (const std::u16string* s = std::get_if<std::u16string>(&value)) {
      pickle.WriteInt(kString);
      pickle.WriteWString(*s);
    } else {
      pickle.WriteInt(kNull);
    }
  }
  return std::string(static_cast<const char*>(pickle.data()), pickle.size());
}

CefRefPtr<cef_internal::ListValueImpl> DecodeList(const std::string& bytes) {
  if (bytes.size() > kMaxRenderFrameBody) return nullptr;
  Pickle pickle(bytes.data(), static_cast<int>(bytes.size()));
  void* iter = nullptr;
  int count = 0;
  // Each entry takes at least 4 bytes (its tag), so the count cannot ask
  // for more entries than the bytes could hold.
  if (!pickle.ReadInt(&iter, &count) || count < 0 ||
      static_cast<size_t>(count) > bytes.size() / 4) {
    return nullptr;
  }
  std::vector<cef_internal::ListValueImpl::Value> values;
  values.reserve(static_cast<size_t>(count));
  for (int n = 0; n < count; ++n) {
    int tag = 0;
    if (!pickle.ReadInt(&iter, &tag)) return nullptr;
    switch (tag) {
      case kNull:
        values.emplace_back(std::monostate());
        break;
      case kBool: {
        bool b = false;
        if (!pickle.ReadBool(&iter, &b)) return nullptr;
        values.emplace_back(b);
        break;
      }
      case kInt: {
        int i = 0;
        if (!pickle.ReadInt(&iter, &i)) return nullptr;
        values.emplace_back(i);
        break;
      }
      case kDouble: {
        uint64_t bits = 0;
        if (!pickle.ReadUInt64(&iter, &bits)) return nullptr;
        double d;
        std::memcpy(&d, &bits, sizeof(d));
        values.emplace_back(d);
        break;
      }
      case kString: {
        string16 s;
        if (!pickle.ReadWString(&iter, &s)) return nullptr;
        values.emplace_back(std::move(s));
        break;
      }
      default:
        return nullptr;
    }
  }
  // Trailing bytes mean the sender and this reader disagree on the format.
  const char* position = iter ? static_cast<const char*>(iter) : pickle.payload();
  if (position < pickle.end_of_payload()) return nullptr;
  return cef_internal::ListValueImpl::CreateFrom(std::move(values));
}

}  // namespace cef_engine
