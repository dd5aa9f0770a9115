// One windowless browser over one DevTools page target, and its frames.
// UI-thread objects (host methods called elsewhere are posted there).
#ifndef CEF_ENGINE_BROWSER_IMPL_H_
#define CEF_ENGINE_BROWSER_IMPL_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "cef/engine/bitmap.h"
#include "cef/engine/json_util.h"
#include "cef/engine/render_process_host.h"
#include "cef/engine/session_tree.h"
#include "cef/include/cef_browser.h"
#include "cef/include/cef_client.h"

namespace cef_engine {

class BrowserImpl;
class Engine;

class FrameImpl : public CefFrame {
 public:
  FrameImpl(BrowserImpl* browser, bool is_main);

  const std::string& devtools_id() const { return devtools_id_; }
  void set_devtools_id(const std::string& id) { devtools_id_ = id; }
  void set_url(const std::string& url) { url_ = url; }
  void set_name(const std::string& name) { name_ = name; }
  void set_parent(CefRefPtr<FrameImpl> parent) { parent_ = parent; }
  // The DevTools session whose target renders the frame's document: the
  // page's, or an out-of-process iframe's. Commands for the frame go there.
  const std::string& session_id() const { return session_id_; }
  void set_session_id(const std::string& id) { session_id_ = id; }
  // The id of the frame's page context in its session (0: none yet).
  int context_id() const { return context_id_; }
  void set_context_id(int id) { context_id_ = id; }
  void Invalidate();
  const std::string& url() const { return url_; }

  bool IsValid() override { return valid_; }
  void LoadURL(const CefString& url) override;
  void ExecuteJavaScript(const CefString& code, const CefString& script_url,
                         int start_line) override;
  bool IsMain() override { return is_main_; }
  bool IsFocused() override { return is_main_; }
  CefString GetName() override { return name_; }
  int64_t GetIdentifier() override { return id_; }
  CefRefPtr<CefFrame> GetParent() override { return parent_.get(); }
  CefString GetURL() override { return url_; }
  CefRefPtr<CefBrowser> GetBrowser() override;

 private:
  CefRefPtr<BrowserImpl> browser_;  // cleared by Invalidate
  CefRefPtr<FrameImpl> parent_;
  const int64_t id_;
  const bool is_main_;
  std::string devtools_id_;
  std::string session_id_;
  std::string url_;
  std::string name_;
  int context_id_ = 0;
  bool valid_ = true;

  IMPLEMENT_REFCOUNTING(FrameImpl);
};

class BrowserImpl : public CefBrowser, public CefBrowserHost {
 public:
  enum class State { kCreating, kLive, kClosing, kClosed };

  BrowserImpl(Engine* engine, int id, CefRefPtr<CefClient> client, bool transparent,
              const CefBrowserSettings& settings, const std::string& url);
  ~BrowserImpl() override;

  // Engine side, UI thread.
  void StartCreation();
  // An event of one of the browser's sessions (session_id: the page's or
  // an out-of-process iframe's).
  void HandleEvent(const std::string& session_id, const std::string& method, const Json& params);
  // The target went away (closed, or the engine lost it).
  void OnTargetGone();
  // Delivers OnBeforeClose (once) and lets go of the client.
  void Finish();
  void DeliverPaint();
  // Finishes a close the engine never confirmed.
  void CheckCloseDeadline(std::chrono::steady_clock::time_point now);
  // CefShutdown: close, or (not yet created) give up quietly.
  void CloseForShutdown();
  // The link to the render child of that generation has ended: a later
  // navigation starts a new child.
  void OnRenderProcessLost(int generation);

  State state() const { return state_; }
  const std::string& target_id() const { return target_id_; }
  const std::string& session_id() const { return session_id_; }

  // Used by FrameImpl.
  void Navigate(FrameImpl* frame, const std::string& url);
  void Execute(FrameImpl* frame, const std::string& code, const std::string& script_url,
               int start_line);

  // CefBrowser.
  CefRefPtr<CefBrowserHost> GetHost() override { return this; }
  bool CanGoBack() override { return can_go_back_; }
  void GoBack() override { GoInHistory(-1); }
  bool CanGoForward() override { return can_go_forward_; }
  void GoForward() override { GoInHistory(1); }
  bool IsLoading() override { return loading_; }
  void Reload() override;
  void ReloadIgnoreCache() override;
  void StopLoad() override;
  int GetIdentifier() override { return id_; }
  bool IsSame(CefRefPtr<CefBrowser> that) override {
    return that && that->GetIdentifier() == id_;
  }
  bool IsPopup() override { return false; }
  bool HasDocument() override { return has_document_; }
  CefRefPtr<CefFrame> GetMainFrame() override;
  CefRefPtr<CefFrame> GetFocusedFrame() override { return GetMainFrame(); }
  CefRefPtr<CefFrame> GetFrame(int64_t identifier) override;
  size_t GetFrameCount() override { return frames_.size(); }
  void GetFrameIdentifiers(std::vector<int64_t>& identifiers) override;

  // CefBrowserHost.
  CefRefPtr<CefBrowser> GetBrowser() override { return this; }
  void CloseBrowser(bool force_close) override;
  void SetFocus(bool focus) override { SendFocusEvent(focus); }
  CefRefPtr<CefClient> GetClient() override { return client_; }
  double GetZoomLevel() override { return zoom_level_; }
  void SetZoomLevel(double zoomLevel) override;
  bool IsWindowRenderingDisabled() override { return true; }
  void WasResized() override;
  void WasHidden(bool hidden) override;
  void NotifyScreenInfoChanged() override;
  void Invalidate(PaintElementType type) override;
  void SendKeyEvent(const CefKeyEvent& event) override;
  void SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type, bool mouseUp,
                           int clickCount) override;
  void SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) override;
  void SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) override;
  void SendFocusEvent(bool setFocus) override;
  void SendCaptureLostEvent() override;

 private:
  // Runs task on the UI thread: now when called there, else posted.
  bool OnUi(std::function<void()> task);
  bool live() const { return state_ == State::kLive; }
  bool SendToPage(std::string_view method, Json params,
                  std::function<void(const Json&, const std::string&)> callback = nullptr);
  bool SendToSession(const std::string& session_id, std::string_view method, Json params,
                     std::function<void(const Json&, const std::string&)> callback = nullptr);

  // Navigation, once the render child (when there is one) is in place.
  void SendNavigate(CefRefPtr<FrameImpl> frame, const std::string& url);
  bool NeedsRenderProcess() const;
  void LaunchRenderProcess();
  void ReleaseRenderProcess();

  // Creation steps.
  void OnTargetCreated(const Json& result, const std::string& error);
  void OnAttached(const Json& result, const std::string& error);
  void SetUpSession();
  // What every session of the browser gets before its documents run: the
  // domains the events come from, the document script, and the automatic
  // attachment of the out-of-process iframes inside it.
  void SetUpFrameSession(const std::string& session_id);
  // An out-of-process iframe's target was attached below parent_session /
  // a child session ended.
  void OnChildAttached(const std::string& parent_session, const Json& params);
  void OnChildDetached(const Json& params);
  void ForgetSessions();
  // The set-up has reached the page: the browser is announced.
  void Announce();
  void Abandon(const std::string& why);

  // Geometry and zoom.
  void ReadGeometry();
  void ScheduleMetricsUpdate(bool reread_geometry);
  void ApplyMetrics();
  double zoom_factor() const;

  // Events.
  // The frame with a DevTools id; with create, a new one (a child of the
  // main frame until told otherwise) rendered by session_id (empty: the
  // page's session).
  FrameImpl* FrameFor(const std::string& devtools_id, bool create,
                      const std::string& session_id = std::string());
  void RemoveFrame(CefRefPtr<FrameImpl> frame);
  // The out-of-process iframe that session renders, when frame is it.
  bool IsSessionRoot(const FrameImpl* frame) const;
  void OnFrameNavigated(const std::string& session_id, const Json& frame);
  void OnLoading(const std::string& devtools_frame_id, bool loading);
  void RequestHistory();
  void ReportLoadError(const std::string& devtools_frame_id, const std::string& error_text,
                       const std::string& url, const std::string& request_id);
  void ReportConsole(const std::string& message, const std::string& source, int line);
  void OnBindingCalled(const std::string& session_id, const Json& params);
  void OnTitleReport(const std::string& title);
  // A cursor report of the document with context_id in session_id.
  void OnCursorReport(const std::string& session_id, int context_id, const std::string& css);
  void OnDialog(const std::string& session_id, const Json& params);
  void OnWindowOpen(const Json& params);
  void GoInHistory(int offset);

  Engine* const engine_;
  const int id_;
  CefRefPtr<CefClient> client_;
  const bool transparent_;
  const int frame_interval_;  // screencast everyNthFrame
  const bool javascript_disabled_;
  std::string initial_url_;
  State state_ = State::kCreating;
  // OnAfterCreated has run; events before it wait in early_events_.
  bool announced_ = false;
  struct EarlyEvent {
    std::string session_id;
    std::string method;
    Json params;
  };
  std::vector<EarlyEvent> early_events_;
  bool close_requested_ = false;
  std::chrono::steady_clock::time_point close_deadline_;

  std::string target_id_;
  std::string session_id_;
  // The page session and those of out-of-process iframes below it.
  SessionTree sessions_;
  int window_id_ = 0;

  // Geometry: the view in view pixels, the screen's scale, the zoom.
  int view_width_ = 1;
  int view_height_ = 1;
  double screen_scale_ = 1;
  double zoom_level_ = 0;
  bool metrics_update_posted_ = false;
  bool reread_geometry_ = false;
  int window_width_ = 0;   // last window bounds sent
  int window_height_ = 0;
  Json applied_metrics_;   // last device metrics override sent

  // The render child; started before the first navigation, so that every
  // document the application loads has one (and the application has had
  // its say, such as the functions to bind, before it starts).
  std::unique_ptr<RenderProcessHost> render_process_;
  int render_generation_ = 0;
  bool render_launch_posted_ = false;
  struct WaitingNavigation {
    CefRefPtr<FrameImpl> frame;
    std::string url;
  };
  std::vector<WaitingNavigation> waiting_navigations_;

  // Painting.
  std::shared_ptr<const Bitmap> last_frame_;
  bool full_repaint_ = false;
  bool paint_posted_ = false;
  bool hidden_ = false;

  // Input.
  int buttons_ = 0;
  int last_mouse_x_ = 0;
  int last_mouse_y_ = 0;
  bool focus_sent_ = false;
  bool focused_ = false;

  // Page state.
  CefRefPtr<FrameImpl> main_frame_;
  std::map<int64_t, CefRefPtr<FrameImpl>> frames_;     // by our identifier
  std::map<std::string, FrameImpl*> frames_by_devtools_;
  // (session, context id) -> devtools frame; context ids are per session.
  std::map<std::pair<std::string, int>, std::string> context_frames_;
  struct DocumentRequest {
    std::string frame_id;
    std::string url;
  };
  std::map<std::string, DocumentRequest> document_requests_;
  std::map<std::string, int> http_status_;             // devtools frame -> status
  std::deque<std::string> reported_errors_;
  bool loading_ = false;
  bool can_go_back_ = false;
  bool can_go_forward_ = false;
  bool has_document_ = false;
  bool has_title_ = false;
  std::string last_title_;
  cef_cursor_type_t cursor_ = CT_POINTER;
  bool cursor_known_ = false;
  // The document that reported the cursor last.
  std::pair<std::string, int> cursor_document_;

  IMPLEMENT_REFCOUNTING(BrowserImpl);
};

}  // namespace cef_engine

#endif  // CEF_ENGINE_BROWSER_IMPL_H_
