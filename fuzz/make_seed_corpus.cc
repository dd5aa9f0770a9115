// Writes the seed corpus of the wire fuzzer: one file per catalogue message
// (a valid sample), a sync reply, an error reply, the hello message, and a
// stream of several messages back to back.
//
//   make_seed_corpus <directory>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ipc/ipc/ipc_sync_message.h"
#include "protocol/view_messages.h"

namespace {

std::string Bytes(const IPC::Message& m) { return std::string(m.data(), m.size()); }

bool WriteFile(const std::string& dir, const std::string& name, const std::string& bytes) {
  std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const ViewMsg_Tile_Params tiles{{{0, 0, 16, 16}, {16, 0, 16, 16}, {0, 16, 16, 16}}};
  ViewHostMsg_OnJavascriptCallback_ReturnVal return_value;
  std::vector<char> image;
  std::string channel_name;

  std::vector<std::pair<std::string, std::unique_ptr<IPC::Message>>> seeds;
  auto add = [&seeds](const char* name, IPC::Message* m) { seeds.emplace_back(name, m); };
  add("ViewMsg_CreateWindow", new ViewMsg_CreateWindow(5, 1920, 1080, 1.25f, tiles, "shm_5"));
  add("ViewMsg_DestroyWindow", new ViewMsg_DestroyWindow(5));
  add("ViewMsg_MouseMoved", new ViewMsg_MouseMoved(5, 0x200, 0, 0x00400030));
  add("ViewMsg_MouseButton", new ViewMsg_MouseButton(5, 0x201, 1, 0x00400030));
  add("ViewMsg_MouseWheel", new ViewMsg_MouseWheel(5, 0, -120));
  add("ViewMsg_KeyEvent", new ViewMsg_KeyEvent(5, 0x100, 0x41, 0x001e0001, 0));
  add("ViewMsg_NavigateTo", new ViewMsg_NavigateTo(5, "https://example.org/"));
  add("ViewMsg_ExecuteJavascript", new ViewMsg_ExecuteJavascript(5, u"run()"));
  add("ViewMsg_AddBindOnStartLoading", new ViewMsg_AddBindOnStartLoading(5, u"notify", true));
  add("ViewMsg_CloseSharedMemory", new ViewMsg_CloseSharedMemory(5));
  add("ViewMsg_ResizeWindow", new ViewMsg_ResizeWindow(5, 800, 600, 1.0f, tiles, "shm_5b"));
  add("ViewHostMsg_DebugOutput", new ViewHostMsg_DebugOutput(1, "debug"));
  add("ViewHostMsg_OnLoadingStateChanged", new ViewHostMsg_OnLoadingStateChanged(5, true));
  add("ViewHostMsg_OnJavascriptCallbackAsync",
      new ViewHostMsg_OnJavascriptCallbackAsync(1, {u"notify", u"arg", "chan"}));
  auto* js_sync =
      new ViewHostMsg_OnJavascriptCallbackSync(1, {u"ask", u"q", "chan"}, return_value);
  add("ViewHostMsg_OnJavascriptCallbackSync", js_sync);
  add("ViewHostMsg_OnAddressBarChanged", new ViewHostMsg_OnAddressBarChanged(5, "https://a/"));
  add("ViewHostMsg_OnProvisionalLoadError",
      new ViewHostMsg_OnProvisionalLoadError(5, "https://x/", -105, u"failed", true));
  add("ViewHostMsg_OnConsoleMessage", new ViewHostMsg_OnConsoleMessage(5, u"hi", u"a.js", 3));
  add("ViewHostMsg_OnScriptAlert", new ViewHostMsg_OnScriptAlert(5, u"msg", u"", "https://o/", 0));
  add("ViewHostMsg_OnTitleChanged", new ViewHostMsg_OnTitleChanged(5, u"Title"));
  add("ViewHostMsg_OnTooltipChanged", new ViewHostMsg_OnTooltipChanged(5, u"tip"));
  add("ViewHostMsg_OnCreatedWindow", new ViewHostMsg_OnCreatedWindow(5));
  add("ViewHostMsg_OnCursorUpdated", new ViewHostMsg_OnCursorUpdated(5, 0x10003));
  auto* image_request = new ViewHostMsg_GetAchievementImage(42, image);
  add("ViewHostMsg_GetAchievementImage", image_request);
  add("ViewHostMsg_CreateIpcChannel", new ViewHostMsg_CreateIpcChannel(channel_name));

  // Replies: a return value, image bytes, and an error reply.
  std::unique_ptr<IPC::Message> js_reply = IPC::SyncMessage::MakeReply(*js_sync);
  ViewHostMsg_OnJavascriptCallbackSync::WriteReplyParams(
      js_reply.get(), std::make_tuple(ViewHostMsg_OnJavascriptCallback_ReturnVal{4, u"", false, 0, 0.5}));
  std::unique_ptr<IPC::Message> image_reply = IPC::SyncMessage::MakeReply(*image_request);
  ViewHostMsg_GetAchievementImage::WriteReplyParams(
      image_reply.get(), std::make_tuple(std::vector<char>{'\x89', 'P', 'N', 'G'}));
  std::unique_ptr<IPC::Message> error_reply = IPC::SyncMessage::MakeReply(*image_request);
  error_reply->set_reply_error();
  seeds.emplace_back("reply_OnJavascriptCallbackSync", std::move(js_reply));
  seeds.emplace_back("reply_GetAchievementImage", std::move(image_reply));
  seeds.emplace_back("reply_error", std::move(error_reply));

  auto hello = std::make_unique<IPC::Message>(IPC::kRoutingIdNone, IPC::kHelloMessageType,
                                              IPC::Message::PRIORITY_NORMAL);
  hello->WriteInt(0x1234);
  seeds.emplace_back("hello", std::move(hello));

  std::string stream;
  bool ok = true;
  for (const auto& [name, message] : seeds) {
    ok &= WriteFile(dir, name, Bytes(*message));
    stream += Bytes(*message);
  }
  ok &= WriteFile(dir, "stream_of_all", stream);
  if (!ok) {
    std::fprintf(stderr, "cannot write the corpus into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
