// The link between the browser process and one of its render children:
// framed messages over the child's pair of pipes, and the encoding of the
// values they carry.
//
// A frame on the wire, all integers little-endian:
//
//   bytes 0..3   body size n (uint32; 4 <= n <= kMaxRenderFrameBody)
//   bytes 4..7   message type (uint32, RenderMessage)
//   bytes 8..    n - 4 bytes of payload
//
// Either end treats what it reads as hostile: a frame whose size is out of
// range ends the link, a payload that does not decode is refused.
#ifndef CEF_ENGINE_RENDER_LINK_H_
#define CEF_ENGINE_RENDER_LINK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "cef/common/list_value.h"
#include "cef/engine/chromium_process.h"

namespace cef_engine {

// Message types. Browser → child:
//   kThreadCreated: the extra information of the new render process
//                   (payload: an encoded list), sent once, first.
enum class RenderMessage : uint32_t {
  kThreadCreated = 1,
};

// Large enough for any list an application hands over, small enough that a
// corrupt size cannot make the reader allocate without bound.
inline constexpr uint32_t kMaxRenderFrameBody = 16u << 20;

// Writes whole frames to a transport. Not thread-safe (one writer).
class RenderLinkWriter {
 public:
  explicit RenderLinkWriter(EngineTransport* transport) : transport_(transport) {}
  // False when the payload is too large or the other end has gone.
  bool Send(RenderMessage type, const std::string& payload);

 private:
  EngineTransport* transport_;
};

// Reads frames from a transport, blocking. Not thread-safe (one reader).
class RenderLinkReader {
 public:
  enum class Result { kMessage, kClosed, kBroken };

  explicit RenderLinkReader(EngineTransport* transport) : transport_(transport) {}
  // kMessage with *type and *payload filled; kClosed when the other end
  // closed between frames; kBroken on a read error, a cancelled read, a
  // frame cut short or a size out of range (the link is then unusable).
  Result Next(uint32_t* type, std::string* payload);

 private:
  // Reads exactly size bytes into buffer; false at end of stream or error,
  // with *closed_cleanly telling whether no byte at all was read.
  bool ReadExactly(char* buffer, size_t size, bool* closed_cleanly);

  EngineTransport* transport_;
  std::vector<char> pending_;  // bytes read past the current frame
  size_t pending_offset_ = 0;
};

// A list of null, bool, int, double and string values, as bytes; and back.
// DecodeList returns null for bytes that are not exactly one encoded list.
std::string EncodeList(const cef_internal::ListValueImpl& list);
CefRefPtr<cef_internal::ListValueImpl> DecodeList(const std::string& bytes);

}  // namespace cef_engine

#endif  // CEF_ENGINE_RENDER_LINK_H_
