#include "cef/engine/render_process_host.h"

#include <utility>

#include "ipc/base/logging.h"

namespace cef_engine {

std::unique_ptr<RenderProcessHost> RenderProcessHost::Start(
    const std::vector<std::string>& argv, CefRefPtr<CefBrowserProcessHandler> handler,
    LostCallback on_lost) {
  if (argv.empty()) return nullptr;
  std::string error;
  std::unique_ptr<ChromiumProcess> process = ChromiumProcess::Launch(
      argv[0], std::vector<std::string>(argv.begin() + 1, argv.end()), &error);
  if (!process) {
    LOG(ERROR) << "cannot start a render process: " << error;
    return nullptr;
  }
  std::unique_ptr<RenderProcessHost> host(
      new RenderProcessHost(std::move(process), std::move(handler), std::move(on_lost)));
  host->io_thread_ = std::thread([raw = host.get()] { raw->RunIoThread(); });
  return host;
}

RenderProcessHost::RenderProcessHost(std::unique_ptr<ChromiumProcess> process,
                                     CefRefPtr<CefBrowserProcessHandler> handler,
                                     LostCallback on_lost)
    : process_(std::move(process)), handler_(std::move(handler)), on_lost_(std::move(on_lost)) {}

RenderProcessHost::~RenderProcessHost() {
  Close();
  if (!process_->WaitForExit(kExitWait)) {
    LOG(WARNING) << "render process " << process_->pid() << " did not end with its link; killed";
    process_->Kill();
  }
  process_->CancelRead();
  if (io_thread_.joinable()) io_thread_.join();
  process_.reset();  // reaps (bounded) what the kill left
}

void RenderProcessHost::Close() {
  std::lock_guard<std::mutex> hold(write_lock_);
  if (closed_) return;
  closed_ = true;
  process_->CloseCommandPipe();
}

bool RenderProcessHost::Exited() { return process_->WaitForExit(std::chrono::milliseconds(0)); }

bool RenderProcessHost::SendToChild(RenderMessage type, const std::string& payload) {
  std::lock_guard<std::mutex> hold(write_lock_);
  if (closed_) return false;
  return RenderLinkWriter(process_.get()).Send(type, payload);
}

void RenderProcessHost::RunIoThread() {
  CefRefPtr<cef_internal::ListValueImpl> extra_info =
      cef_internal::ListValueImpl::CreateFrom({});
  if (handler_) handler_->OnRenderProcessThreadCreated(extra_info.get());
  handler_ = nullptr;  // the handler is not needed on this thread any more
  bool sent = SendToChild(RenderMessage::kThreadCreated, EncodeList(*extra_info));

  RenderLinkReader reader(process_.get());
  RenderLinkReader::Result result = RenderLinkReader::Result::kBroken;
  if (sent) {
    uint32_t type = 0;
    std::string payload;
    // The child sends nothing the browser process acts on yet; what it
    // sends is read and dropped so that its writes never block.
    while ((result = reader.Next(&type, &payload)) == RenderLinkReader::Result::kMessage) {
    }
  }
  {
    std::lock_guard<std::mutex> hold(write_lock_);
    if (closed_) return;  // the owner ended the link itself
  }
  if (result == RenderLinkReader::Result::kBroken && sent) {
    LOG(ERROR) << "render process " << process_->pid() << " sent an unreadable message";
  }
  if (on_lost_) on_lost_();
}

}  // namespace cef_engine
