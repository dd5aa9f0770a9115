// The browser process's side of one render child: the child process (this
// executable, or the settings' browser_subprocess_path, started again with
// "--type=renderer"), its link, and the IO thread that talks over it.
//
// The child runs the application's render-process handler; the page itself
// is rendered by the headless engine. Its IO thread is where the
// application's OnRenderProcessThreadCreated runs, so that a handler that
// reads shared state there never does so on the UI thread.
#ifndef CEF_ENGINE_RENDER_PROCESS_HOST_H_
#define CEF_ENGINE_RENDER_PROCESS_HOST_H_

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cef/engine/chromium_process.h"
#include "cef/engine/render_link.h"
#include "cef/include/cef_browser_process_handler.h"

namespace cef_engine {

class RenderProcessHost {
 public:
  // Runs on the IO thread once the link has ended: the child exited or
  // closed its end, or sent something unreadable. Not called when the link
  // was closed by Close() or the destructor.
  using LostCallback = std::function<void()>;

  // Starts argv (argv[0] is the program) with the link on the child's fds 3
  // (child reads) and 4 (child writes), then the IO thread, which asks
  // handler (may be null) to fill the extra information, sends it as the
  // first message and reads the child's messages until the link ends.
  // Null, logged, when the child cannot be started.
  static std::unique_ptr<RenderProcessHost> Start(const std::vector<std::string>& argv,
                                                  CefRefPtr<CefBrowserProcessHandler> handler,
                                                  LostCallback on_lost);

  // Closes the link and waits, up to kExitWait, for the child to exit
  // (it ends when its link closes); kills what is left after that.
  ~RenderProcessHost();
  RenderProcessHost(const RenderProcessHost&) = delete;
  RenderProcessHost& operator=(const RenderProcessHost&) = delete;

  static constexpr auto kExitWait = std::chrono::seconds(3);

  // Closes the link without waiting: the child sees end-of-file and ends.
  // Idempotent. Any thread.
  void Close();
  // True once the child, and anything it started, has exited. Does not
  // wait. Owner's thread.
  bool Exited();
  // The child's process id.
  pid_t pid() const { return process_->pid(); }

 private:
  RenderProcessHost(std::unique_ptr<ChromiumProcess> process,
                    CefRefPtr<CefBrowserProcessHandler> handler, LostCallback on_lost);
  void RunIoThread();
  // Sends one frame to the child unless the link is closed.
  bool SendToChild(RenderMessage type, const std::string& payload);

  std::unique_ptr<ChromiumProcess> process_;
  CefRefPtr<CefBrowserProcessHandler> handler_;
  LostCallback on_lost_;

  std::mutex write_lock_;  // guards the command pipe and closed_
  bool closed_ = false;
  std::thread io_thread_;
};

}  // namespace cef_engine

#endif  // CEF_ENGINE_RENDER_PROCESS_HOST_H_
