// Fuzzes the wire format: cuts an arbitrary byte stream into messages the way
// the channel cuts its receive buffer, and runs the Read of every message of
// the host catalogue over each message, whatever its type. Nothing may crash
// or touch a byte outside the input (AddressSanitizer), and whatever decodes
// must encode to bytes that decode and encode to the same bytes again.
//
//   build-fuzz/fuzz/wire_fuzzer -max_total_time=600 fuzz/corpus/wire

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ipc/ipc/ipc_message.h"
#include "ipc/ipc/ipc_message_templates.h"
#include "ipc/ipc/ipc_sync_message.h"
#include "protocol/view_messages.h"

namespace {

std::string Bytes(const IPC::Message& m) { return std::string(m.data(), m.size()); }

// Encodes `p` as a message of type `type`.
template <class Param>
std::string Encode(uint32_t type, const Param& p) {
  return Bytes(IPC::MessageWithTuple<Param>(7, type, p));
}

// The handler every Dispatch calls; it only looks at its arguments.
struct Sink {
  template <class... Args>
  void On(const Args&...) {
    ++calls;
  }
  int calls = 0;
};

template <class Tuple>
struct MethodOf;
template <class... Ts>
struct MethodOf<std::tuple<Ts...>> {
  static constexpr void (Sink::*value)(const Ts&...) = &Sink::On<Ts...>;
};

// Asynchronous messages: Read, then the round trip, then Dispatch.
template <class M>
void ReadAsync(const IPC::Message& msg) {
  using Param = typename M::Param;
  Param p;
  if (!M::Read(&msg, &p)) return;
  const std::string once = Encode(M::ID, p);
  IPC::Message again(once.data(), static_cast<int>(once.size()));
  Param q;
  if (!M::Read(&again, &q) || Encode(M::ID, q) != once) std::abort();
  Sink sink;
  if (!M::Dispatch(&msg, &sink, MethodOf<Param>::value) || sink.calls != 1) std::abort();
}

// Synchronous messages: the request's inputs, and the message read as a reply
// to it, both as the sender's deserializer reads it and as values.
template <class M>
void ReadSync(const IPC::Message& msg) {
  typename M::SendParam inputs;
  if (M::Read(&msg, &inputs)) {
    Sink sink;
    if (!M::Dispatch(&msg, &sink, MethodOf<typename M::SendParam>::value)) std::abort();
  }
  typename M::ReplyValues outputs;
  (void)M::ReadReplyParams(&msg, &outputs);
}

void ReadEverything(const IPC::Message& msg) {
  (void)msg.routing_id();
  (void)msg.type();
  (void)msg.flags();
  (void)msg.header();
  (void)IPC::SyncMessage::GetRequestId(msg);
  (void)IPC::SyncMessage::IsReplyTo(msg, 0);

  ReadAsync<ViewMsg_CreateWindow>(msg);
  ReadAsync<ViewMsg_DestroyWindow>(msg);
  ReadAsync<ViewMsg_MouseMoved>(msg);
  ReadAsync<ViewMsg_MouseButton>(msg);
  ReadAsync<ViewMsg_MouseWheel>(msg);
  ReadAsync<ViewMsg_KeyEvent>(msg);
  ReadAsync<ViewMsg_NavigateTo>(msg);
  ReadAsync<ViewMsg_ExecuteJavascript>(msg);
  ReadAsync<ViewMsg_AddBindOnStartLoading>(msg);
  ReadAsync<ViewMsg_CloseSharedMemory>(msg);
  ReadAsync<ViewMsg_ResizeWindow>(msg);
  ReadAsync<ViewHostMsg_DebugOutput>(msg);
  ReadAsync<ViewHostMsg_OnLoadingStateChanged>(msg);
  ReadAsync<ViewHostMsg_OnJavascriptCallbackAsync>(msg);
  ReadSync<ViewHostMsg_OnJavascriptCallbackSync>(msg);
  ReadAsync<ViewHostMsg_OnAddressBarChanged>(msg);
  ReadAsync<ViewHostMsg_OnProvisionalLoadError>(msg);
  ReadAsync<ViewHostMsg_OnConsoleMessage>(msg);
  ReadAsync<ViewHostMsg_OnScriptAlert>(msg);
  ReadAsync<ViewHostMsg_OnTitleChanged>(msg);
  ReadAsync<ViewHostMsg_OnTooltipChanged>(msg);
  ReadAsync<ViewHostMsg_OnCreatedWindow>(msg);
  ReadAsync<ViewHostMsg_OnCursorUpdated>(msg);
  ReadSync<ViewHostMsg_GetAchievementImage>(msg);
  ReadSync<ViewHostMsg_CreateIpcChannel>(msg);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* p = reinterpret_cast<const char*>(data);
  const char* const end = p + size;
  while (p < end) {
    const char* q = IPC::Message::FindNext(p, end);
    if (q == nullptr || q - p > INT_MAX) break;
    const IPC::Message view(p, static_cast<int>(q - p));
    if (view.data() == nullptr) std::abort();  // FindNext framed it: it must be valid
    ReadEverything(view);
    const IPC::Message copy(view);
    if (Bytes(copy) != Bytes(view)) std::abort();
    p = q;
  }
  // The incomplete rest, as an arbitrary view: it must be refused or read
  // safely.
  const IPC::Message rest(p, static_cast<int>(end - p > INT_MAX ? INT_MAX : end - p));
  ReadEverything(rest);
  return 0;
}
