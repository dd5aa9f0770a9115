// Parameter encodings: how each parameter type of a message is written into
// and read from the payload, as one set of traits.
//
//   IPC::WriteParam(msg, value);             // appends value's encoding
//   IPC::ReadParam(msg, &iter, &value);      // false when it does not decode
//
// There is no type tag or field name on the wire; reader and writer agree on
// the sequence of types. The encodings:
//
//   int, unsigned int      4 bytes (Pickle::WriteInt)
//   bool                   int 0 or 1; any non-zero int reads as true
//   uint64_t               8 bytes
//   float, double          int 4 (or 8), then the IEEE 754 bytes; any other
//                          length fails to read
//   std::string            int length, then the bytes, zero-padded to 4
//   string16               int length in code units, then the units, padded
//   std::vector<char>      int length, then the bytes, padded
//   std::vector<record>    int count, then each element; a count of
//                          INT_MAX / sizeof(record) or more fails to read
//   std::tuple<...>        the elements in order (the parameter list of a
//                          message)
//
// Records (protocol/) add their own ParamTraits specializations: their fields
// in order, each with its own encoding. A read writes straight into the
// destination, so after a failure the items read before it keep their new
// values.
#ifndef IPC_IPC_IPC_MESSAGE_UTILS_H_
#define IPC_IPC_IPC_MESSAGE_UTILS_H_

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "ipc/base/logging.h"
#include "ipc/base/string16.h"
#include "ipc/ipc/ipc_message.h"

namespace IPC {

// ParamTraits<P> has
//   static void Write(Message* m, const P& p);
//   static bool Read(const Message* m, void** iter, P* r);
template <class P>
struct ParamTraits;

template <class P>
void WriteParam(Message* m, const P& p) {
  ParamTraits<P>::Write(m, p);
}

template <class P>
[[nodiscard]] bool ReadParam(const Message* m, void** iter, P* p) {
  return ParamTraits<P>::Read(m, iter, p);
}

// A string, byte vector or list too long for its 32-bit length field is
// written as the length -1, which no reader accepts: the receiver then refuses
// the whole message instead of misreading the parameters that follow.
inline void WriteUnrepresentableLength(Message* m) { m->WriteInt(-1); }

template <>
struct ParamTraits<bool> {
  static void Write(Message* m, bool p) { m->WriteBool(p); }
  static bool Read(const Message* m, void** iter, bool* r) { return m->ReadBool(iter, r); }
};

template <>
struct ParamTraits<int> {
  static void Write(Message* m, int p) { m->WriteInt(p); }
  static bool Read(const Message* m, void** iter, int* r) { return m->ReadInt(iter, r); }
};

template <>
struct ParamTraits<unsigned int> {
  static void Write(Message* m, unsigned int p) { m->WriteInt(static_cast<int>(p)); }
  static bool Read(const Message* m, void** iter, unsigned int* r) {
    int value;
    if (!m->ReadInt(iter, &value)) return false;
    *r = static_cast<unsigned int>(value);
    return true;
  }
};

template <>
struct ParamTraits<uint64_t> {
  static void Write(Message* m, uint64_t p) { m->WriteUInt64(p); }
  static bool Read(const Message* m, void** iter, uint64_t* r) { return m->ReadUInt64(iter, r); }
};

// float and double: a data item of exactly sizeof(T) bytes.
template <class T>
struct FloatingParamTraits {
  static void Write(Message* m, T p) {
    m->WriteData(reinterpret_cast<const char*>(&p), static_cast<int>(sizeof(T)));
  }
  static bool Read(const Message* m, void** iter, T* r) {
    const char* data;
    int length;
    if (!m->ReadData(iter, &data, &length)) return false;
    if (length != static_cast<int>(sizeof(T))) {
      NOTREACHED();
      return false;
    }
    std::memcpy(r, data, sizeof(T));
    return true;
  }
};

template <>
struct ParamTraits<float> : FloatingParamTraits<float> {};

template <>
struct ParamTraits<double> : FloatingParamTraits<double> {};

template <>
struct ParamTraits<std::string> {
  static void Write(Message* m, const std::string& p) {
    if (p.size() > static_cast<size_t>(INT_MAX)) return WriteUnrepresentableLength(m);
    m->WriteString(p);
  }
  static bool Read(const Message* m, void** iter, std::string* r) {
    return m->ReadString(iter, r);
  }
};

template <>
struct ParamTraits<string16> {
  static void Write(Message* m, const string16& p) {
    if (p.size() >= (size_t{1} << 30)) return WriteUnrepresentableLength(m);
    m->WriteWString(p);
  }
  static bool Read(const Message* m, void** iter, string16* r) { return m->ReadWString(iter, r); }
};

template <>
struct ParamTraits<std::vector<char>> {
  static void Write(Message* m, const std::vector<char>& p) {
    if (p.size() > static_cast<size_t>(INT_MAX)) return WriteUnrepresentableLength(m);
    m->WriteData(p.data(), static_cast<int>(p.size()));
  }
  static bool Read(const Message* m, void** iter, std::vector<char>* r) {
    const char* data;
    int length;
    if (!m->ReadData(iter, &data, &length)) return false;
    r->assign(data, data + length);
    return true;
  }
};

template <class P>
struct ParamTraits<std::vector<P>> {
  static void Write(Message* m, const std::vector<P>& p) {
    if (p.size() > static_cast<size_t>(INT_MAX)) return WriteUnrepresentableLength(m);
    m->WriteInt(static_cast<int>(p.size()));
    for (const P& element : p) WriteParam(m, element);
  }
  static bool Read(const Message* m, void** iter, std::vector<P>* r) {
    int count;
    if (!m->ReadLength(iter, &count)) return false;
    if (static_cast<size_t>(count) >= INT_MAX / sizeof(P)) return false;
    // The count comes from the peer: memory is committed as elements actually
    // decode, never up front for a count the payload cannot hold.
    constexpr size_t kMaxUpfront = (size_t{64} << 10) / sizeof(P) + 1;
    r->clear();
    r->reserve(std::min(static_cast<size_t>(count), kMaxUpfront));
    for (int i = 0; i < count; ++i) {
      r->emplace_back();
      if (!ReadParam(m, iter, &r->back())) return false;
    }
    return true;
  }
};

// A parameter list: its elements in order. Works for tuples of values and
// for tuples of references (the outputs of a synchronous message).
template <class Tuple>
void WriteTuple(Message* m, const Tuple& t) {
  std::apply([m](const auto&... element) { (WriteParam(m, element), ...); }, t);
}

// Reads the elements in order and stops at the first that fails.
template <class Tuple>
[[nodiscard]] bool ReadTuple(const Message* m, void** iter, Tuple* t) {
  return std::apply(
      [m, iter](auto&... element) { return (ReadParam(m, iter, &element) && ...); }, *t);
}

template <class... Elements>
struct ParamTraits<std::tuple<Elements...>> {
  static void Write(Message* m, const std::tuple<Elements...>& p) { WriteTuple(m, p); }
  static bool Read(const Message* m, void** iter, std::tuple<Elements...>* r) {
    return ReadTuple(m, iter, r);
  }
};

}  // namespace IPC

#endif  // IPC_IPC_IPC_MESSAGE_UTILS_H_
