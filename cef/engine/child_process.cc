#include "cef/engine/child_process.h"

#include "cef/engine/inherited_link.h"
#include "cef/engine/render_link.h"
#include "ipc/base/logging.h"

namespace cef_engine {
namespace {

int RunRenderProcess(CefRefPtr<CefApp> app) {
  std::unique_ptr<InheritedLink> link = InheritedLink::Open();
  if (!link) {
    LOG(ERROR) << "render process started without its link to the browser process";
    return 1;
  }
  CefRefPtr<CefRenderProcessHandler> handler = app ? app->GetRenderProcessHandler() : nullptr;
  RenderLinkReader reader(link.get());
  bool thread_created = false;
  for (;;) {
    uint32_t type = 0;
    std::string payload;
    switch (reader.Next(&type, &payload)) {
      case RenderLinkReader::Result::kClosed:
        return 0;
      case RenderLinkReader::Result::kBroken:
        LOG(ERROR) << "render process: the link to the browser process broke";
        return 1;
      case RenderLinkReader::Result::kMessage:
        break;
    }
    if (type == static_cast<uint32_t>(RenderMessage::kThreadCreated) && !thread_created) {
      CefRefPtr<cef_internal::ListValueImpl> extra_info = DecodeList(payload);
      if (!extra_info) {
        LOG(ERROR) << "render process: unreadable extra information";
        return 1;
      }
      thread_created = true;
      extra_info->SetReadOnly();
      if (handler) {
        handler->OnRenderThreadCreated(extra_info.get());
        handler->OnWebKitInitialized();
      }
    } else {
      LOG(WARNING) << "render process: unexpected message " << type << " ignored";
    }
  }
}

}  // namespace

int RunChildProcess(const std::string& type, const CefMainArgs& /*args*/,
                    CefRefPtr<CefApp> app) {
  if (type == "renderer") return RunRenderProcess(app);
  LOG(ERROR) << "child process of type \"" << type << "\" is not provided by this layer";
  return 1;
}

}  // namespace cef_engine
