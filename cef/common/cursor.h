// The fixed cursor handle of each cursor type (see OnCursorChange).
#ifndef CEF_COMMON_CURSOR_H_
#define CEF_COMMON_CURSOR_H_

#include <cstdint>

#include "cef/include/internal/cef_types.h"

namespace cef_internal {

inline constexpr uint64_t kCursorHandleBase = 0x10000;

// 0x10000 + type.
inline cef_cursor_handle_t CursorHandleForType(cef_cursor_type_t type) {
  return reinterpret_cast<cef_cursor_handle_t>(
      static_cast<uintptr_t>(kCursorHandleBase + static_cast<uint64_t>(type)));
}

}  // namespace cef_internal

#endif  // CEF_COMMON_CURSOR_H_
