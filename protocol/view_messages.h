// The host protocol: every message between the host and the sub-process.
//
// Types are (class << 16) + ordinal: class 1 (ViewMsg_*) from the host to the
// sub-process, class 2 (ViewHostMsg_*) from the sub-process to the host.
// Control messages carry routing id IPC::kRoutingIdControl and are
// constructed from their parameters alone; window messages take the window's
// routing id first; the JavaScript callbacks take routing id 1
// (kRoutingIdJavascriptCallback). Every message has PRIORITY_NORMAL;
// synchronous requests carry flags 0x26 and a request id before their inputs.
//
// Building and reading:
//
//   ViewMsg_NavigateTo msg(routing_id, "https://example.org/");
//   ViewMsg_NavigateTo::Param p;           // std::tuple<std::string>
//   if (ViewMsg_NavigateTo::Read(&received, &p)) ...
//   ViewMsg_NavigateTo::Dispatch(&received, window, &Window::OnNavigateTo);
//
//   std::string channel_name;               // filled in by the reply
//   ViewHostMsg_CreateIpcChannel request(channel_name);
#ifndef PROTOCOL_VIEW_MESSAGES_H_
#define PROTOCOL_VIEW_MESSAGES_H_

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "ipc/base/string16.h"
#include "ipc/ipc/ipc_message_templates.h"
#include "protocol/view_message_params.h"

// The routing id of the JavaScript callback messages of render processes.
inline constexpr int32_t kRoutingIdJavascriptCallback = 1;

// ---------------------------------------------------------------------------
// Host to sub-process (class 1).

// uint32 routing_id, uint32 width, uint32 height, float scale, tiles,
// string shared_memory_name.
class ViewMsg_CreateWindow
    : public IPC::ControlMessage<0x10000, uint32_t, uint32_t, uint32_t, float,
                                 ViewMsg_Tile_Params, std::string> {
 public:
  using ControlMessage::ControlMessage;
};

// uint32 routing_id.
class ViewMsg_DestroyWindow : public IPC::ControlMessage<0x10001, uint32_t> {
 public:
  using ControlMessage::ControlMessage;
};

// Windows mouse message id, WPARAM, LPARAM, each widened to 64 bits.
class ViewMsg_MouseMoved : public IPC::RoutedMessage<0x10002, uint64_t, uint64_t, uint64_t> {
 public:
  using RoutedMessage::RoutedMessage;
};

// Windows mouse message id, WPARAM, LPARAM, each widened to 64 bits.
class ViewMsg_MouseButton : public IPC::RoutedMessage<0x10003, uint64_t, uint64_t, uint64_t> {
 public:
  using RoutedMessage::RoutedMessage;
};

// int32 delta_x, int32 delta_y.
class ViewMsg_MouseWheel : public IPC::RoutedMessage<0x10004, int32_t, int32_t> {
 public:
  using RoutedMessage::RoutedMessage;
};

// Windows key message id, WPARAM, LPARAM, modifiers, each 64 bits.
class ViewMsg_KeyEvent
    : public IPC::RoutedMessage<0x10005, uint64_t, uint64_t, uint64_t, uint64_t> {
 public:
  using RoutedMessage::RoutedMessage;
};

// string url (UTF-8).
class ViewMsg_NavigateTo : public IPC::RoutedMessage<0x10006, std::string> {
 public:
  using RoutedMessage::RoutedMessage;
};

// wstring script.
class ViewMsg_ExecuteJavascript : public IPC::RoutedMessage<0x10007, string16> {
 public:
  using RoutedMessage::RoutedMessage;
};

// wstring function_name, bool synchronous.
class ViewMsg_AddBindOnStartLoading : public IPC::RoutedMessage<0x10008, string16, bool> {
 public:
  using RoutedMessage::RoutedMessage;
};

// No parameters.
class ViewMsg_CloseSharedMemory : public IPC::RoutedMessage<0x10009> {
 public:
  using RoutedMessage::RoutedMessage;
};

// uint32 width, uint32 height, float scale, tiles, string shared_memory_name.
class ViewMsg_ResizeWindow
    : public IPC::RoutedMessage<0x1000a, uint32_t, uint32_t, float, ViewMsg_Tile_Params,
                                std::string> {
 public:
  using RoutedMessage::RoutedMessage;
};

// ---------------------------------------------------------------------------
// Sub-process to host (class 2).

// int32, string. Never sent by this system.
class ViewHostMsg_DebugOutput : public IPC::ControlMessage<0x20000, int32_t, std::string> {
 public:
  using ControlMessage::ControlMessage;
};

// bool is_loading.
class ViewHostMsg_OnLoadingStateChanged : public IPC::RoutedMessage<0x20001, bool> {
 public:
  using RoutedMessage::RoutedMessage;
};

// The call of an asynchronous binding. Routing kRoutingIdJavascriptCallback.
class ViewHostMsg_OnJavascriptCallbackAsync
    : public IPC::RoutedMessage<0x20002, ViewHostMsg_OnJavascriptCallback_Params> {
 public:
  using RoutedMessage::RoutedMessage;
};

// The call of a synchronous binding; the reply is its return value. Routing
// kRoutingIdJavascriptCallback.
class ViewHostMsg_OnJavascriptCallbackSync
    : public IPC::SyncRoutedMessage<0x20003, std::tuple<ViewHostMsg_OnJavascriptCallback_Params>,
                                    std::tuple<ViewHostMsg_OnJavascriptCallback_ReturnVal>> {
 public:
  using SyncRoutedMessage::SyncRoutedMessage;
};

// string url (UTF-8).
class ViewHostMsg_OnAddressBarChanged : public IPC::RoutedMessage<0x20004, std::string> {
 public:
  using RoutedMessage::RoutedMessage;
};

// string url, int32 error_code, wstring error_text, bool is_main_frame.
class ViewHostMsg_OnProvisionalLoadError
    : public IPC::RoutedMessage<0x20005, std::string, int32_t, string16, bool> {
 public:
  using RoutedMessage::RoutedMessage;
};

// wstring text, wstring source, int32 line.
class ViewHostMsg_OnConsoleMessage
    : public IPC::RoutedMessage<0x20006, string16, string16, int32_t> {
 public:
  using RoutedMessage::RoutedMessage;
};

// wstring message_text, wstring default_prompt_text, string origin_url, int32
// (always 0 from this system).
class ViewHostMsg_OnScriptAlert
    : public IPC::RoutedMessage<0x20007, string16, string16, std::string, int32_t> {
 public:
  using RoutedMessage::RoutedMessage;
};

// wstring title.
class ViewHostMsg_OnTitleChanged : public IPC::RoutedMessage<0x20008, string16> {
 public:
  using RoutedMessage::RoutedMessage;
};

// wstring text. Never sent by this system.
class ViewHostMsg_OnTooltipChanged : public IPC::RoutedMessage<0x20009, string16> {
 public:
  using RoutedMessage::RoutedMessage;
};

// No parameters.
class ViewHostMsg_OnCreatedWindow : public IPC::RoutedMessage<0x2000a> {
 public:
  using RoutedMessage::RoutedMessage;
};

// uint64 cursor (the cursor handle widened to 64 bits).
class ViewHostMsg_OnCursorUpdated : public IPC::RoutedMessage<0x2000b, uint64_t> {
 public:
  using RoutedMessage::RoutedMessage;
};

// uint32 achievement_id; reply: the PNG bytes of the image.
class ViewHostMsg_GetAchievementImage
    : public IPC::SyncControlMessage<0x2000c, std::tuple<uint32_t>,
                                     std::tuple<std::vector<char>>> {
 public:
  using SyncControlMessage::SyncControlMessage;
};

// No inputs; reply: string channel_name (UTF-8) for a new render process.
class ViewHostMsg_CreateIpcChannel
    : public IPC::SyncControlMessage<0x2000d, std::tuple<>, std::tuple<std::string>> {
 public:
  using SyncControlMessage::SyncControlMessage;
};

#endif  // PROTOCOL_VIEW_MESSAGES_H_
