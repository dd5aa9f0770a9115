// The engine behind the API: the headless browser process, its DevTools
// connection, the frame pipeline and the browsers, between CefInitialize and
// CefShutdown.
//
// Threads: the UI thread (the caller of CefInitialize) owns every browser
// and runs every client callback; the DevTools reader hands events over
// (screencast frames straight to the frame pipeline, everything else as UI
// tasks); the pipeline's decoder turns frames into paints.
#ifndef CEF_ENGINE_ENGINE_H_
#define CEF_ENGINE_ENGINE_H_

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cef/common/cookie_manager.h"
#include "cef/engine/chromium_process.h"
#include "cef/engine/devtools_connection.h"
#include "cef/engine/frame_pipeline.h"
#include "cef/engine/json_util.h"
#include "cef/engine/render_process_host.h"
#include "cef/engine/ui_queue.h"
#include "cef/include/cef_app.h"
#include "cef/include/cef_client.h"

namespace cef_engine {

class BrowserImpl;

// Sends commands for objects that may outlive the engine (dialog
// callbacks); a no-op once the engine has stopped. Any thread.
class CommandSender {
 public:
  explicit CommandSender(DevToolsConnection* connection) : connection_(connection) {}
  void Send(std::string_view method, Json params, const std::string& session_id) {
    std::lock_guard<std::mutex> hold(lock_);
    if (connection_) connection_->Send(method, std::move(params), session_id);
  }
  void Detach() {
    std::lock_guard<std::mutex> hold(lock_);
    connection_ = nullptr;
  }

 private:
  std::mutex lock_;
  DevToolsConnection* connection_;
};

class Engine : public DevToolsConnection::Delegate {
 public:
  using ReplyCallback = std::function<void(const Json& result, const std::string& error)>;

  // The running engine, or null. Meant for the UI thread.
  static Engine* Get();

  static bool Initialize(const CefMainArgs& args, const CefSettings& settings,
                         CefRefPtr<CefApp> app);
  static void Shutdown();

  // One round of UI work.
  void DoWork();
  bool OnUiThread() const { return std::this_thread::get_id() == ui_thread_; }
  // False once the engine process has gone.
  bool alive() const { return alive_; }
  // False when the settings switched the engine's own logging off.
  bool logging_enabled() const { return logging_enabled_; }

  // Sends a command; callback (optional) runs on the UI thread with the
  // reply. Returns false when the engine is gone (no callback then).
  bool Send(std::string_view method, Json params, const std::string& session_id = std::string(),
            ReplyCallback callback = ReplyCallback());
  void PostUi(std::function<void()> task) { queue_.Post(std::move(task)); }
  std::shared_ptr<CommandSender> sender() const { return sender_; }
  FramePipeline& pipeline() { return *pipeline_; }

  // CefBrowserHost::CreateBrowser.
  bool CreateBrowser(const CefWindowInfo& window_info, CefRefPtr<CefClient> client,
                     const CefString& url, const CefBrowserSettings& settings);

  // Browsers tell the engine which DevTools session is theirs (UI thread).
  void RegisterSession(const std::string& session_id, int browser_id);
  void UnregisterSession(const std::string& session_id);
  // A browser has delivered OnBeforeClose; the engine forgets it.
  void ForgetBrowser(int browser_id);

  CefRefPtr<cef_internal::CookieManagerImpl> cookie_manager() const { return cookies_; }

  // Render children. Only an application with a render-process handler
  // gets them: a child runs nothing else. UI thread.
  bool launches_render_processes() const { return !render_program_.empty(); }
  // Builds the child's command line ("--type=renderer"), lets the
  // application change it (OnBeforeChildProcessLaunch, here on the UI
  // thread) and starts the child. Null, logged, when it cannot start.
  // When the link is lost later, the browser hears of it through
  // BrowserImpl::OnRenderProcessLost(generation).
  std::unique_ptr<RenderProcessHost> StartRenderProcess(int browser_id, int generation);
  // Lets a child go: its link is closed now, and it is reaped once it has
  // exited (or at shutdown, bounded).
  void RetireRenderProcess(std::unique_ptr<RenderProcessHost> host);

  // For tests and measurements: the engine's process id (-1 when none),
  // and the pipeline's counters.
  pid_t engine_pid() const { return process_ ? process_->pid() : -1; }
  double engine_cpu_seconds() const { return process_ ? process_->CpuSeconds() : 0; }
  FramePipeline::Stats frame_stats() const {
    return pipeline_ ? pipeline_->stats() : FramePipeline::Stats();
  }

 private:
  Engine(const CefSettings& settings, CefRefPtr<CefApp> app);
  ~Engine() override;

  bool Start(const CefMainArgs& args, const CefSettings& settings);
  void Stop();

  // DevToolsConnection::Delegate, on the reader thread.
  void OnEvent(Json message) override;
  void OnReply(DevToolsConnection::ReplyCallback callback, Json result,
               std::string error) override;
  void OnDisconnected() override;

  // UI thread.
  void HandleEvent(const Json& message);
  void HandleEngineLost();
  void ReapRetiredRenderProcesses(bool wait);
  BrowserImpl* BrowserForSession(const std::string& session_id);
  BrowserImpl* BrowserForTarget(const std::string& target_id);

  CefRefPtr<CefApp> app_;
  std::thread::id ui_thread_;
  bool alive_ = false;
  bool logging_enabled_ = true;
  std::string profile_dir_;
  bool remove_profile_ = false;

  std::unique_ptr<ChromiumProcess> process_;
  std::unique_ptr<DevToolsConnection> connection_;
  std::unique_ptr<FramePipeline> pipeline_;
  std::shared_ptr<CommandSender> sender_;
  UiQueue queue_;

  // Browsers by id, until they have closed (UI thread).
  std::map<int, CefRefPtr<BrowserImpl>> browsers_;
  int next_browser_id_ = 1;

  // Session id -> browser id; also read by the reader thread.
  mutable std::mutex sessions_lock_;
  std::map<std::string, int> sessions_;

  CefRefPtr<cef_internal::CookieManagerImpl> cookies_;

  // The program render children run (empty: none are started), and the
  // children whose browser has let go of them but that have not exited.
  std::string render_program_;
  std::vector<std::unique_ptr<RenderProcessHost>> retired_renderers_;
};

}  // namespace cef_engine

#endif  // CEF_ENGINE_ENGINE_H_
