// The records of the host protocol and their encodings.
//
//   ViewMsg_Tile_Params                      int count, then per TileRect four
//                                            ints x, y, width, height; a
//                                            negative count or one of
//                                            134217727 or more fails to read
//   ViewHostMsg_OnJavascriptCallback_Params  wstring function_name, wstring
//                                            argument, string channel_name
//   ViewHostMsg_OnJavascriptCallback_ReturnVal
//                                            int type, then only the value the
//                                            type selects: 1 wstring, 2 bool,
//                                            3 int, 4 double (an 8-byte data
//                                            item); nothing for other types
#ifndef PROTOCOL_VIEW_MESSAGE_PARAMS_H_
#define PROTOCOL_VIEW_MESSAGE_PARAMS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "ipc/base/string16.h"
#include "ipc/ipc/ipc_message_utils.h"

// One tile of a window's paint surface, in view pixels. Its index in the tile
// list is the index of its change counter.
struct TileRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;

  bool operator==(const TileRect&) const = default;
};

// The tile layout the host chose for a window.
struct ViewMsg_Tile_Params {
  std::vector<TileRect> tiles;

  bool operator==(const ViewMsg_Tile_Params&) const = default;
};

// A call of a bound JavaScript function, sent to the host.
struct ViewHostMsg_OnJavascriptCallback_Params {
  string16 function_name;  // as bound
  string16 argument;       // the one string argument, else empty
  std::string channel_name;  // the calling render process's channel (UTF-8)

  bool operator==(const ViewHostMsg_OnJavascriptCallback_Params&) const = default;
};

// The host's answer to a synchronous JavaScript call. `type` selects the one
// value that is present; the initial state is "no return value".
struct ViewHostMsg_OnJavascriptCallback_ReturnVal {
  enum : int32_t {
    TYPE_NONE = 0,
    TYPE_STRING = 1,
    TYPE_BOOL = 2,
    TYPE_INT = 3,
    TYPE_DOUBLE = 4,
  };

  int32_t type = TYPE_NONE;  // any value outside 1..4 means no value
  string16 string_value;
  bool bool_value = false;
  int32_t int_value = 0;
  double double_value = 0.0;

  bool operator==(const ViewHostMsg_OnJavascriptCallback_ReturnVal&) const = default;
};

namespace IPC {

template <>
struct ParamTraits<TileRect> {
  static void Write(Message* m, const TileRect& p);
  static bool Read(const Message* m, void** iter, TileRect* r);
};

template <>
struct ParamTraits<ViewMsg_Tile_Params> {
  static void Write(Message* m, const ViewMsg_Tile_Params& p);
  static bool Read(const Message* m, void** iter, ViewMsg_Tile_Params* r);
};

template <>
struct ParamTraits<ViewHostMsg_OnJavascriptCallback_Params> {
  static void Write(Message* m, const ViewHostMsg_OnJavascriptCallback_Params& p);
  static bool Read(const Message* m, void** iter, ViewHostMsg_OnJavascriptCallback_Params* r);
};

// Reads `type` into the record first and keeps it even when the value after
// it fails to read.
template <>
struct ParamTraits<ViewHostMsg_OnJavascriptCallback_ReturnVal> {
  static void Write(Message* m, const ViewHostMsg_OnJavascriptCallback_ReturnVal& p);
  static bool Read(const Message* m, void** iter, ViewHostMsg_OnJavascriptCallback_ReturnVal* r);
};

}  // namespace IPC

#endif  // PROTOCOL_VIEW_MESSAGE_PARAMS_H_
