#include "cef/engine/browser_impl.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "cef/common/cursor.h"
#include "cef/engine/engine.h"
#include "cef/engine/input_events.h"
#include "cef/engine/net_errors.h"
#include "cef/engine/page_agent.h"
#include "cef/engine/page_events.h"
#include "ipc/base/logging.h"

namespace cef_engine {
namespace {

std::atomic<int64_t> g_next_frame_id{1};

constexpr auto kCloseTimeout = std::chrono::seconds(3);
constexpr size_t kRememberedErrors = 64;
constexpr int kMaxStartLine = 100000;

class DialogCallback : public CefJSDialogCallback {
 public:
  DialogCallback(std::shared_ptr<CommandSender> sender, std::string session_id)
      : sender_(std::move(sender)), session_id_(std::move(session_id)) {}

  void Continue(bool success, const CefString& user_input) override {
    if (answered_.exchange(true)) return;
    Json params = {{"accept", success}};
    if (!user_input.empty()) params["promptText"] = user_input.ToString();
    sender_->Send("Page.handleJavaScriptDialog", std::move(params), session_id_);
  }
  // Marks the dialog answered without sending anything; false when it
  // already was.
  bool Claim() { return !answered_.exchange(true); }

 private:
  std::shared_ptr<CommandSender> sender_;
  std::string session_id_;
  std::atomic<bool> answered_{false};
  IMPLEMENT_REFCOUNTING(DialogCallback);
};

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

// ---------------------------------------------------------------------------
// FrameImpl

FrameImpl::FrameImpl(BrowserImpl* browser, bool is_main)
    : browser_(browser), id_(g_next_frame_id++), is_main_(is_main) {}

void FrameImpl::Invalidate() {
  valid_ = false;
  browser_ = nullptr;
  parent_ = nullptr;
}

void FrameImpl::LoadURL(const CefString& url) {
  if (valid_) browser_->Navigate(this, url.ToString());
}

void FrameImpl::ExecuteJavaScript(const CefString& code, const CefString& script_url,
                                  int start_line) {
  if (valid_) browser_->Execute(this, code.ToString(), script_url.ToString(), start_line);
}

CefRefPtr<CefBrowser> FrameImpl::GetBrowser() { return browser_.get(); }

// ---------------------------------------------------------------------------
// BrowserImpl: life

BrowserImpl::BrowserImpl(Engine* engine, int id, CefRefPtr<CefClient> client, bool transparent,
                         const CefBrowserSettings& settings, const std::string& url)
    : engine_(engine),
      id_(id),
      client_(client),
      transparent_(transparent),
      frame_interval_([&] {
        int rate = settings.windowless_frame_rate > 0 ? settings.windowless_frame_rate : 30;
        rate = std::clamp(rate, 1, 60);
        return std::max(1, static_cast<int>(std::lround(60.0 / rate)));
      }()),
      javascript_disabled_(settings.javascript == STATE_DISABLED),
      initial_url_(url) {
  main_frame_ = new FrameImpl(this, true);
  frames_[main_frame_->GetIdentifier()] = main_frame_;
}

BrowserImpl::~BrowserImpl() = default;

bool BrowserImpl::OnUi(std::function<void()> task) {
  if (engine_->OnUiThread()) {
    task();
    return true;
  }
  CefRefPtr<BrowserImpl> self = this;
  engine_->PostUi([self, task] { task(); });
  return false;
}

bool BrowserImpl::SendToPage(std::string_view method, Json params,
                             std::function<void(const Json&, const std::string&)> callback) {
  if (!live()) return false;
  return engine_->Send(method, std::move(params), session_id_, std::move(callback));
}

bool BrowserImpl::SendToSession(const std::string& session_id, std::string_view method,
                                Json params,
                                std::function<void(const Json&, const std::string&)> callback) {
  if (!live()) return false;
  return engine_->Send(method, std::move(params), session_id.empty() ? session_id_ : session_id,
                       std::move(callback));
}

void BrowserImpl::StartCreation() {
  if (state_ != State::kCreating) return;
  if (close_requested_) {
    Abandon("closed before it was created");
    return;
  }
  ReadGeometry();
  const int width = std::max(1, static_cast<int>(std::lround(view_width_ * screen_scale_)));
  const int height = std::max(1, static_cast<int>(std::lround(view_height_ * screen_scale_)));
  engine_->pipeline().AddBrowser(id_, width, height);
  window_width_ = width;
  window_height_ = height;
  CefRefPtr<BrowserImpl> self = this;
  bool sent = engine_->Send(
      "Target.createTarget", {{"url", "about:blank"}, {"width", width}, {"height", height}}, "",
      [self](const Json& r, const std::string& e) { self->OnTargetCreated(r, e); });
  if (!sent) Abandon("the engine is not running");
}

void BrowserImpl::OnTargetCreated(const Json& result, const std::string& error) {
  target_id_ = GetString(result, "targetId");
  if (!error.empty() || target_id_.empty()) {
    Abandon("cannot create a page: " + error);
    return;
  }
  CefRefPtr<BrowserImpl> self = this;
  bool sent = engine_->Send("Target.attachToTarget", {{"targetId", target_id_}, {"flatten", true}},
                            "", [self](const Json& r, const std::string& e) { self->OnAttached(r, e); });
  if (!sent) Abandon("the engine is not running");
}

void BrowserImpl::OnAttached(const Json& result, const std::string& error) {
  session_id_ = GetString(result, "sessionId");
  if (!error.empty() || session_id_.empty()) {
    engine_->Send("Target.closeTarget", {{"targetId", target_id_}});
    Abandon("cannot attach to the page: " + error);
    return;
  }
  if (state_ != State::kCreating) return;
  engine_->RegisterSession(session_id_, id_);
  sessions_.SetRoot(session_id_, target_id_);
  state_ = State::kLive;
  // A page target's main frame has the target's id.
  main_frame_->set_devtools_id(target_id_);
  main_frame_->set_session_id(session_id_);
  frames_by_devtools_[target_id_] = main_frame_.get();
  SetUpSession();
}

void BrowserImpl::Announce() {
  if (announced_ || !live()) return;
  announced_ = true;
  if (CefRefPtr<CefLifeSpanHandler> life = client_ ? client_->GetLifeSpanHandler() : nullptr) {
    life->OnAfterCreated(this);
  }
  std::vector<EarlyEvent> early;
  early.swap(early_events_);
  for (EarlyEvent& event : early) HandleEvent(event.session_id, event.method, event.params);
  DeliverPaint();
  if (!initial_url_.empty() && live()) Navigate(main_frame_.get(), initial_url_);
  if (close_requested_) CloseBrowser(true);
}

void BrowserImpl::SetUpSession() {
  // Sent in order without waiting: the engine handles a session's commands
  // in order, so later commands see the set-up done.
  SetUpFrameSession(session_id_);
  SendToPage("Inspector.enable", Json::object());
  if (transparent_) {
    SendToPage("Emulation.setDefaultBackgroundColorOverride",
               {{"color", {{"r", 0}, {"g", 0}, {"b", 0}, {"a", 0}}}});
  }
  ApplyMetrics();
  CefRefPtr<BrowserImpl> self = this;
  engine_->Send("Browser.getWindowForTarget", {{"targetId", target_id_}}, "",
                [self](const Json& r, const std::string& e) {
                  if (!e.empty() || !self->live()) return;
                  self->window_id_ = static_cast<int>(GetInt(r, "windowId"));
                  self->ApplyMetrics();
                });
  SendToPage("Page.startScreencast", {{"format", "png"}, {"everyNthFrame", frame_interval_}});
  // Commands the page's process carries out can be overtaken by ones the
  // engine's browser process handles (a navigation). So the browser is
  // announced, and the application can navigate, only once the page has
  // answered the last set-up command: then the agent is in place for every
  // later document. This one also installs it in the current document.
  SendToPage("Runtime.evaluate", {{"expression", PageAgentScript()}},
             [self](const Json&, const std::string&) { self->Announce(); });
}

void BrowserImpl::SetUpFrameSession(const std::string& session_id) {
  SendToSession(session_id, "Page.enable", Json::object());
  SendToSession(session_id, "Runtime.enable", Json::object());
  SendToSession(session_id, "Network.enable", Json::object());
  if (javascript_disabled_) {
    SendToSession(session_id, "Emulation.setScriptExecutionDisabled", {{"value", true}});
  }
  SendToSession(session_id, "Runtime.addBinding", {{"name", kPageAgentBinding}});
  SendToSession(session_id, "Page.addScriptToEvaluateOnNewDocument",
                {{"source", PageAgentScript()}});
  // Iframes only: other targets (workers) would wait for a debugger too.
  SendToSession(session_id, "Target.setAutoAttach",
                {{"autoAttach", true},
                 {"waitForDebuggerOnStart", true},
                 {"flatten", true},
                 {"filter", Json::array({{{"type", "iframe"}}})}});
}

void BrowserImpl::OnChildAttached(const std::string& parent_session, const Json& params) {
  const std::string session = GetString(params, "sessionId");
  const Json& info = GetObject(params, "targetInfo");
  const std::string target = GetString(info, "targetId");
  // A session already known is the engine's echo of an attachment of ours.
  if (session.empty() || sessions_.Contains(session)) return;
  if (GetString(info, "type") != "iframe" || target.empty() ||
      !sessions_.Add(session, target, parent_session)) {
    // Not asked for: let it run, unobserved.
    engine_->Send("Runtime.runIfWaitingForDebugger", Json::object(), session);
    engine_->Send("Target.detachFromTarget", {{"sessionId", session}}, parent_session);
    return;
  }
  engine_->RegisterSession(session, id_);
  // The target renders the frame of the same id, which the parent's
  // document already knows: the frame stays the same CefFrame, rendered
  // elsewhere now.
  if (FrameImpl* frame = FrameFor(target, true, parent_session)) {
    frame->set_session_id(session);
    frame->set_context_id(0);
    FrameImpl* parent = FrameFor(GetString(info, "parentFrameId"), false);
    if (parent && parent != frame && !GetString(info, "parentFrameId").empty()) {
      frame->set_parent(parent);
    }
  }
  // Sent without waiting: the target runs nothing before the last one.
  SetUpFrameSession(session);
  SendToSession(session, "Runtime.runIfWaitingForDebugger", Json::object());
}

void BrowserImpl::OnChildDetached(const Json& params) {
  const std::string session = GetString(params, "sessionId");
  const std::string parent = sessions_.ParentOf(session);
  const std::string root_frame = sessions_.TargetOf(session);
  std::vector<std::string> removed = sessions_.Remove(session);
  if (removed.empty()) return;
  auto was_removed = [&](const std::string& id) {
    return std::find(removed.begin(), removed.end(), id) != removed.end();
  };
  for (const std::string& id : removed) engine_->UnregisterSession(id);
  for (auto it = context_frames_.begin(); it != context_frames_.end();) {
    it = was_removed(it->first.first) ? context_frames_.erase(it) : std::next(it);
  }
  // The iframe itself belongs to its parent's document, which reports its
  // removal or its new document (when it moved back into that process).
  // What was inside the ended documents has gone with them.
  std::vector<CefRefPtr<FrameImpl>> gone;
  for (auto& [fid, frame] : frames_) {
    if (!was_removed(frame->session_id())) continue;
    if (frame->session_id() == session && frame->devtools_id() == root_frame) {
      frame->set_session_id(parent);
      frame->set_context_id(0);
    } else if (frame != main_frame_) {
      gone.push_back(frame);
    }
  }
  for (auto& frame : gone) RemoveFrame(frame);
}

void BrowserImpl::ForgetSessions() {
  for (const std::string& id : sessions_.All()) engine_->UnregisterSession(id);
  sessions_.SetRoot(std::string(), std::string());
  context_frames_.clear();
}

void BrowserImpl::Abandon(const std::string& why) {
  LOG(ERROR) << "browser " << id_ << " not created: " << why;
  state_ = State::kClosed;
  engine_->pipeline().RemoveBrowser(id_);
  if (!session_id_.empty()) engine_->UnregisterSession(session_id_);
  ForgetSessions();
  ReleaseRenderProcess();
  waiting_navigations_.clear();
  for (auto& [fid, frame] : frames_) frame->Invalidate();
  frames_.clear();
  frames_by_devtools_.clear();
  main_frame_ = nullptr;
  client_ = nullptr;
  engine_->ForgetBrowser(id_);
}

void BrowserImpl::CloseBrowser(bool force_close) {
  OnUi([this, force_close] {
    (void)force_close;  // no window to ask, no unload prompt to wait for
    switch (state_) {
      case State::kCreating:
        close_requested_ = true;
        break;
      case State::kLive: {
        state_ = State::kClosing;
        close_deadline_ = std::chrono::steady_clock::now() + kCloseTimeout;
        if (!engine_->Send("Target.closeTarget", {{"targetId", target_id_}})) {
          CefRefPtr<BrowserImpl> self = this;
          engine_->PostUi([self] { self->Finish(); });
        }
        break;
      }
      default:
        break;
    }
  });
}

void BrowserImpl::CloseForShutdown() {
  if (state_ == State::kCreating) {
    Abandon("the layer shut down first");
  } else {
    CloseBrowser(true);
  }
}

void BrowserImpl::OnTargetGone() {
  if (state_ == State::kCreating) {
    Abandon("the page went away");
  } else {
    Finish();
  }
}

void BrowserImpl::CheckCloseDeadline(std::chrono::steady_clock::time_point now) {
  if (state_ == State::kClosing && now >= close_deadline_) {
    LOG(WARNING) << "browser " << id_ << ": the engine did not confirm the close";
    Finish();
  }
}

void BrowserImpl::Finish() {
  if (state_ == State::kClosed) return;
  state_ = State::kClosed;
  CefRefPtr<BrowserImpl> self = this;  // the engine may hold the last reference
  engine_->pipeline().RemoveBrowser(id_);
  if (!session_id_.empty()) engine_->UnregisterSession(session_id_);
  ForgetSessions();
  ReleaseRenderProcess();
  waiting_navigations_.clear();
  for (auto& [fid, frame] : frames_) frame->Invalidate();
  frames_.clear();
  frames_by_devtools_.clear();
  main_frame_ = nullptr;
  last_frame_.reset();
  early_events_.clear();
  // A browser the application never saw gets no callback at all.
  CefRefPtr<CefLifeSpanHandler> life = client_ ? client_->GetLifeSpanHandler() : nullptr;
  if (life && announced_) life->OnBeforeClose(this);
  client_ = nullptr;  // the engine's reference to the client
  engine_->ForgetBrowser(id_);
}

// ---------------------------------------------------------------------------
// Frames, navigation, script

CefRefPtr<CefFrame> BrowserImpl::GetMainFrame() { return main_frame_.get(); }

CefRefPtr<CefFrame> BrowserImpl::GetFrame(int64_t identifier) {
  auto it = frames_.find(identifier);
  return it == frames_.end() ? nullptr : it->second.get();
}

void BrowserImpl::GetFrameIdentifiers(std::vector<int64_t>& identifiers) {
  identifiers.clear();
  for (auto& [fid, frame] : frames_) identifiers.push_back(fid);
}

FrameImpl* BrowserImpl::FrameFor(const std::string& devtools_id, bool create,
                                  const std::string& session_id) {
  if (devtools_id.empty()) return main_frame_.get();
  auto it = frames_by_devtools_.find(devtools_id);
  if (it != frames_by_devtools_.end()) return it->second;
  if (!create || !main_frame_) return nullptr;
  CefRefPtr<FrameImpl> frame = new FrameImpl(this, false);
  frame->set_devtools_id(devtools_id);
  frame->set_session_id(session_id.empty() ? session_id_ : session_id);
  frame->set_parent(main_frame_);
  frames_[frame->GetIdentifier()] = frame;
  frames_by_devtools_[devtools_id] = frame.get();
  return frame.get();
}

void BrowserImpl::RemoveFrame(CefRefPtr<FrameImpl> frame) {
  if (!frame || frame == main_frame_) return;
  frames_by_devtools_.erase(frame->devtools_id());
  frames_.erase(frame->GetIdentifier());
  frame->Invalidate();
}

bool BrowserImpl::IsSessionRoot(const FrameImpl* frame) const {
  return !sessions_.IsRoot(frame->session_id()) &&
         sessions_.TargetOf(frame->session_id()) == frame->devtools_id();
}

void BrowserImpl::Navigate(FrameImpl* frame, const std::string& url) {
  CefRefPtr<FrameImpl> target = frame;
  OnUi([this, target, url] {
    if (!live() || !target->IsValid()) return;
    if (NeedsRenderProcess() || render_launch_posted_) {
      // The child starts in a round of its own, not inside the
      // application's call (its OnBeforeChildProcessLaunch may block), and
      // the navigations wait for it in order.
      waiting_navigations_.push_back({target, url});
      if (!render_launch_posted_) {
        render_launch_posted_ = true;
        CefRefPtr<BrowserImpl> self = this;
        engine_->PostUi([self] { self->LaunchRenderProcess(); });
      }
      return;
    }
    SendNavigate(target, url);
  });
}

bool BrowserImpl::NeedsRenderProcess() const {
  return engine_->launches_render_processes() && !render_process_;
}

void BrowserImpl::LaunchRenderProcess() {
  render_launch_posted_ = false;
  if (!live()) return;
  if (!render_process_) render_process_ = engine_->StartRenderProcess(id_, ++render_generation_);
  std::vector<WaitingNavigation> waiting;
  waiting.swap(waiting_navigations_);
  for (auto& navigation : waiting) {
    if (live() && navigation.frame->IsValid()) SendNavigate(navigation.frame, navigation.url);
  }
}

void BrowserImpl::OnRenderProcessLost(int generation) {
  if (generation != render_generation_ || !render_process_) return;
  LOG(WARNING) << "browser " << id_ << ": its render process " << render_process_->pid()
               << " has gone; the next navigation starts a new one";
  ReleaseRenderProcess();
}

void BrowserImpl::ReleaseRenderProcess() {
  if (render_process_) engine_->RetireRenderProcess(std::move(render_process_));
}

void BrowserImpl::SendNavigate(CefRefPtr<FrameImpl> target, const std::string& url) {
  Json params = {{"url", url}};
  if (!target->IsMain()) params["frameId"] = target->devtools_id();
  CefRefPtr<BrowserImpl> self = this;
  std::string frame_id = target->devtools_id();
  SendToSession(target->session_id(), "Page.navigate", std::move(params),
                [self, frame_id, url](const Json& r, const std::string& e) {
                  if (!e.empty()) {
                    // The engine refuses addresses it cannot parse.
                    self->ReportLoadError(frame_id, "net::ERR_INVALID_URL", url, std::string());
                    return;
                  }
                  std::string text = GetString(r, "errorText");
                  if (!text.empty()) {
                    self->ReportLoadError(frame_id, text, url, GetString(r, "loaderId"));
                  }
                });
}

void BrowserImpl::Execute(FrameImpl* frame, const std::string& code,
                          const std::string& script_url, int start_line) {
  CefRefPtr<FrameImpl> target = frame;
  OnUi([this, target, code, script_url, start_line] {
    if (!live() || !target->IsValid()) return;
    // Line numbers: blank lines in front shift the script to start_line.
    std::string expression(static_cast<size_t>(std::clamp(start_line, 1, kMaxStartLine) - 1), '\n');
    expression += code;
    if (!script_url.empty()) expression += "\n//# sourceURL=" + script_url;
    Json params = {{"expression", expression}};
    // A session's own frame needs no context: the default is its document's.
    if (!target->IsMain() && !IsSessionRoot(target.get())) {
      if (target->context_id() == 0) {
        LOG(WARNING) << "script for a frame without a page context dropped";
        return;
      }
      params["contextId"] = target->context_id();
    }
    CefRefPtr<BrowserImpl> self = this;
    SendToSession(target->session_id(), "Runtime.evaluate", std::move(params),
                  [self, script_url](const Json& r, const std::string& e) {
                    if (!e.empty()) return;
                    const Json& details = GetObject(r, "exceptionDetails");
                    if (details.empty()) return;
                    const Json& exception = GetObject(details, "exception");
                    std::string message = GetString(details, "text", "Uncaught");
                    std::string description = GetString(exception, "description");
                    if (!description.empty()) message += " " + FirstLine(description);
                    self->ReportConsole(message, script_url,
                                        static_cast<int>(GetInt(details, "lineNumber")) + 1);
                  });
  });
}

void BrowserImpl::Reload() { SendToPage("Page.reload", Json::object()); }
void BrowserImpl::ReloadIgnoreCache() { SendToPage("Page.reload", {{"ignoreCache", true}}); }
void BrowserImpl::StopLoad() { SendToPage("Page.stopLoading", Json::object()); }

void BrowserImpl::GoInHistory(int offset) {
  CefRefPtr<BrowserImpl> self = this;
  SendToPage("Page.getNavigationHistory", Json::object(),
             [self, offset](const Json& r, const std::string& e) {
               if (!e.empty()) return;
               const Json& entries = GetArray(r, "entries");
               int64_t index = GetInt(r, "currentIndex") + offset;
               if (index < 0 || index >= static_cast<int64_t>(entries.size())) return;
               self->SendToPage("Page.navigateToHistoryEntry",
                                {{"entryId", GetInt(entries[static_cast<size_t>(index)], "id")}});
             });
}

void BrowserImpl::RequestHistory() {
  CefRefPtr<BrowserImpl> self = this;
  SendToPage("Page.getNavigationHistory", Json::object(), [self](const Json& r, const std::string& e) {
    if (!e.empty()) return;
    int64_t index = GetInt(r, "currentIndex");
    int64_t count = static_cast<int64_t>(GetArray(r, "entries").size());
    self->can_go_back_ = index > 0;
    self->can_go_forward_ = index + 1 < count;
  });
}

// ---------------------------------------------------------------------------
// Geometry, zoom, painting

double BrowserImpl::zoom_factor() const {
  return std::clamp(std::pow(1.2, zoom_level_), 0.25, 5.0);
}

void BrowserImpl::ReadGeometry() {
  CefRefPtr<CefRenderHandler> render = client_ ? client_->GetRenderHandler() : nullptr;
  if (!render) return;
  CefRect rect;
  if (render->GetViewRect(this, rect) && !rect.IsEmpty()) {
    view_width_ = rect.width;
    view_height_ = rect.height;
  }
  CefScreenInfo info;
  if (render->GetScreenInfo(this, info) && info.device_scale_factor > 0) {
    screen_scale_ = info.device_scale_factor;
  } else {
    screen_scale_ = 1;
  }
}

void BrowserImpl::ScheduleMetricsUpdate(bool reread_geometry) {
  reread_geometry_ |= reread_geometry;
  if (metrics_update_posted_) return;
  metrics_update_posted_ = true;
  CefRefPtr<BrowserImpl> self = this;
  // Later, not inside the caller: the render handler is asked outside the
  // application's own call.
  engine_->PostUi([self] {
    self->metrics_update_posted_ = false;
    if (!self->live()) return;
    if (self->reread_geometry_) self->ReadGeometry();
    self->reread_geometry_ = false;
    self->ApplyMetrics();
  });
}

void BrowserImpl::ApplyMetrics() {
  if (!live()) return;
  const double scale = zoom_factor() * screen_scale_;
  const int width = std::max(1, static_cast<int>(std::lround(view_width_ * screen_scale_)));
  const int height = std::max(1, static_cast<int>(std::lround(view_height_ * screen_scale_)));
  engine_->pipeline().SetMaxSize(id_, width, height);
  if (window_id_ && (width != window_width_ || height != window_height_)) {
    engine_->Send("Browser.setWindowBounds",
                  {{"windowId", window_id_}, {"bounds", {{"width", width}, {"height", height}}}});
    window_width_ = width;
    window_height_ = height;
  }
  // The page is laid out at device size / scale CSS pixels and rendered at
  // scale device pixels per CSS pixel, into the full-size window.
  Json metrics = {{"width", static_cast<int>(std::ceil(width / scale - 1e-6))},
                  {"height", static_cast<int>(std::ceil(height / scale - 1e-6))},
                  {"deviceScaleFactor", scale},
                  {"mobile", false},
                  {"dontSetVisibleSize", true},
                  {"scale", scale}};
  if (metrics != applied_metrics_) {
    applied_metrics_ = metrics;
    SendToPage("Emulation.setDeviceMetricsOverride", std::move(metrics));
  }
}

void BrowserImpl::SetZoomLevel(double zoomLevel) {
  OnUi([this, zoomLevel] {
    if (!std::isfinite(zoomLevel)) {
      LOG(WARNING) << "zoom level " << zoomLevel << " ignored";
      return;
    }
    if (zoomLevel == zoom_level_) return;
    zoom_level_ = zoomLevel;
    ScheduleMetricsUpdate(false);
  });
}

void BrowserImpl::WasResized() {
  OnUi([this] { ScheduleMetricsUpdate(true); });
}

void BrowserImpl::NotifyScreenInfoChanged() {
  OnUi([this] { ScheduleMetricsUpdate(true); });
}

void BrowserImpl::WasHidden(bool hidden) {
  OnUi([this, hidden] {
    if (hidden == hidden_) return;
    hidden_ = hidden;
    if (hidden) {
      SendToPage("Page.stopScreencast", Json::object());
    } else {
      SendToPage("Page.startScreencast", {{"format", "png"}, {"everyNthFrame", frame_interval_}});
      Invalidate(PET_VIEW);
    }
  });
}

void BrowserImpl::Invalidate(PaintElementType type) {
  OnUi([this, type] {
    if (type != PET_VIEW || !live()) return;
    full_repaint_ = true;
    if (paint_posted_) return;
    paint_posted_ = true;
    CefRefPtr<BrowserImpl> self = this;
    engine_->PostUi([self] {
      self->paint_posted_ = false;
      self->DeliverPaint();
    });
  });
}

void BrowserImpl::DeliverPaint() {
  if (!live() || !announced_) return;
  FramePipeline::Paint paint;
  std::vector<CefRect> rects;
  if (engine_->pipeline().TakePaint(id_, &paint)) {
    last_frame_ = paint.frame;
    rects = std::move(paint.dirty_rects);
  }
  if (!last_frame_ || hidden_) return;
  if (full_repaint_) {
    rects.assign(1, CefRect(0, 0, last_frame_->width, last_frame_->height));
    full_repaint_ = false;
  }
  if (rects.empty()) return;
  CefRefPtr<CefRenderHandler> render = client_ ? client_->GetRenderHandler() : nullptr;
  if (!render) return;
  std::shared_ptr<const Bitmap> frame = last_frame_;  // alive during the call
  render->OnPaint(this, PET_VIEW, rects, frame->pixels.data(), frame->width, frame->height);
}

// ---------------------------------------------------------------------------
// Input

void BrowserImpl::SendKeyEvent(const CefKeyEvent& event) {
  OnUi([this, event] { SendToPage("Input.dispatchKeyEvent", KeyEventParams(event)); });
}

void BrowserImpl::SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type,
                                      bool mouseUp, int clickCount) {
  OnUi([this, event, type, mouseUp, clickCount] {
    if (!live()) return;
    const char* name = type == MBT_LEFT ? "left" : type == MBT_MIDDLE ? "middle" : "right";
    int bit = type == MBT_LEFT ? kLeftButtonBit : type == MBT_MIDDLE ? kMiddleButtonBit
                                                                     : kRightButtonBit;
    int buttons = ButtonsFromFlags(event.modifiers);
    if (mouseUp) {
      buttons &= ~bit;
      buttons_ &= ~bit;
    } else {
      buttons |= bit;
      buttons_ |= bit;
    }
    last_mouse_x_ = event.x;
    last_mouse_y_ = event.y;
    SendToPage("Input.dispatchMouseEvent",
               MouseEventParams(mouseUp ? "mouseReleased" : "mousePressed", event, screen_scale_,
                                name, buttons, std::max(1, clickCount)));
  });
}

void BrowserImpl::SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) {
  OnUi([this, event, mouseLeave] {
    if (!live()) return;
    CefMouseEvent at = event;
    if (mouseLeave) {
      at.x = -1;
      at.y = -1;
    }
    last_mouse_x_ = event.x;
    last_mouse_y_ = event.y;
    int buttons = ButtonsFromFlags(event.modifiers) | buttons_;
    const char* button = (buttons & kLeftButtonBit)     ? "left"
                         : (buttons & kRightButtonBit)  ? "right"
                         : (buttons & kMiddleButtonBit) ? "middle"
                                                        : "none";
    SendToPage("Input.dispatchMouseEvent",
               MouseEventParams("mouseMoved", at, screen_scale_, button, buttons, 0));
  });
}

void BrowserImpl::SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) {
  OnUi([this, event, deltaX, deltaY] {
    if (!live()) return;
    // Windows wheel deltas grow upwards / leftwards; the page's scroll
    // deltas grow downwards / rightwards.
    Json params = MouseEventParams("mouseWheel", event, screen_scale_, "none",
                                   ButtonsFromFlags(event.modifiers), 0);
    params["deltaX"] = -deltaX * screen_scale_;
    params["deltaY"] = -deltaY * screen_scale_;
    SendToPage("Input.dispatchMouseEvent", std::move(params));
  });
}

void BrowserImpl::SendFocusEvent(bool setFocus) {
  OnUi([this, setFocus] {
    if (!live() || (focus_sent_ && focused_ == setFocus)) return;
    focus_sent_ = true;
    focused_ = setFocus;
    SendToPage("Emulation.setFocusEmulationEnabled", {{"enabled", setFocus}});
  });
}

void BrowserImpl::SendCaptureLostEvent() {
  OnUi([this] {
    if (!live() || buttons_ == 0) return;
    CefMouseEvent at;
    at.x = last_mouse_x_;
    at.y = last_mouse_y_;
    for (auto [bit, name] : {std::pair{kLeftButtonBit, "left"}, std::pair{kRightButtonBit, "right"},
                             std::pair{kMiddleButtonBit, "middle"}}) {
      if (!(buttons_ & bit)) continue;
      buttons_ &= ~bit;
      SendToPage("Input.dispatchMouseEvent",
                 MouseEventParams("mouseReleased", at, screen_scale_, name, buttons_, 1));
    }
  });
}

// ---------------------------------------------------------------------------
// Events of the page

void BrowserImpl::HandleEvent(const std::string& session_id, const std::string& method,
                              const Json& params) {
  if (state_ != State::kLive && state_ != State::kClosing) return;
  // Sessions come and go at once, even before the announcement: a new
  // iframe target waits until it is set up.
  if (method == "Target.attachedToTarget") {
    OnChildAttached(session_id, params);
    return;
  }
  if (method == "Target.detachedFromTarget") {
    OnChildDetached(params);
    return;
  }
  if (!announced_) {
    early_events_.push_back({session_id, method, params});
    return;
  }
  CefRefPtr<BrowserImpl> self = this;  // a callback may close the browser
  if (method == "Page.frameNavigated") {
    OnFrameNavigated(session_id, GetObject(params, "frame"));
  } else if (method == "Page.navigatedWithinDocument") {
    FrameImpl* frame = FrameFor(GetString(params, "frameId"), true);
    if (!frame) return;
    frame->set_url(GetString(params, "url"));
    if (frame->IsMain()) RequestHistory();
    if (auto display = client_ ? client_->GetDisplayHandler() : nullptr) {
      display->OnAddressChange(this, frame, frame->url());
    }
  } else if (method == "Page.frameAttached") {
    FrameImpl* frame = FrameFor(GetString(params, "frameId"), true, session_id);
    FrameImpl* parent = FrameFor(GetString(params, "parentFrameId"), false);
    if (frame && parent && frame != parent) frame->set_parent(parent);
  } else if (method == "Page.frameDetached") {
    if (GetString(params, "reason") == "swap") return;  // moves to another process
    RemoveFrame(FrameFor(GetString(params, "frameId"), false));
  } else if (method == "Page.frameStartedLoading") {
    OnLoading(GetString(params, "frameId"), true);
  } else if (method == "Page.frameStoppedLoading") {
    OnLoading(GetString(params, "frameId"), false);
  } else if (method == "Network.requestWillBeSent") {
    if (GetString(params, "type") == "Document") {
      document_requests_[GetString(params, "requestId")] = {
          GetString(params, "frameId"), GetString(GetObject(params, "request"), "url")};
    }
  } else if (method == "Network.responseReceived") {
    if (GetString(params, "type") == "Document") {
      http_status_[GetString(params, "frameId")] =
          static_cast<int>(GetInt(GetObject(params, "response"), "status"));
    }
  } else if (method == "Network.loadingFinished") {
    document_requests_.erase(GetString(params, "requestId"));
  } else if (method == "Network.loadingFailed") {
    auto it = document_requests_.find(GetString(params, "requestId"));
    if (it == document_requests_.end()) return;
    DocumentRequest request = it->second;
    document_requests_.erase(it);
    ReportLoadError(request.frame_id, GetString(params, "errorText"), request.url,
                    GetString(params, "requestId"));
  } else if (method == "Runtime.executionContextCreated") {
    const Json& context = GetObject(params, "context");
    const Json& aux = GetObject(context, "auxData");
    if (!GetBool(aux, "isDefault")) return;
    int id = static_cast<int>(GetInt(context, "id"));
    std::string frame_id = GetString(aux, "frameId");
    context_frames_[{session_id, id}] = frame_id;
    // A document that is being replaced by one in another process can
    // still report a context; only the frame's own session counts.
    FrameImpl* frame = FrameFor(frame_id, false);
    if (frame && frame->session_id() == session_id) frame->set_context_id(id);
  } else if (method == "Runtime.executionContextDestroyed") {
    int id = static_cast<int>(GetInt(params, "executionContextId"));
    auto it = context_frames_.find({session_id, id});
    if (it == context_frames_.end()) return;
    FrameImpl* frame = FrameFor(it->second, false);
    if (frame && frame->session_id() == session_id && frame->context_id() == id) {
      frame->set_context_id(0);
    }
    context_frames_.erase(it);
  } else if (method == "Runtime.executionContextsCleared") {
    for (auto it = context_frames_.begin(); it != context_frames_.end();) {
      it = it->first.first == session_id ? context_frames_.erase(it) : std::next(it);
    }
    for (auto& [fid, frame] : frames_) {
      if (frame->session_id() == session_id) frame->set_context_id(0);
    }
  } else if (method == "Runtime.consoleAPICalled") {
    std::string type = GetString(params, "type");
    if (type == "endGroup" || type == "clear") return;
    const Json& frames = GetArray(GetObject(params, "stackTrace"), "callFrames");
    std::string source;
    int line = 0;
    if (!frames.empty()) {
      source = GetString(frames[0], "url");
      line = static_cast<int>(GetInt(frames[0], "lineNumber")) + 1;
    }
    ReportConsole(FormatConsoleMessage(GetArray(params, "args")), source, line);
  } else if (method == "Runtime.exceptionThrown") {
    const Json& details = GetObject(params, "exceptionDetails");
    std::string message = GetString(details, "text", "Uncaught");
    const Json* exception = Member(details, "exception");
    if (exception && exception->is_object()) {
      std::string description = GetString(*exception, "description");
      message += " " + (description.empty() ? ConsoleText(*exception) : FirstLine(description));
    }
    ReportConsole(message, GetString(details, "url"),
                  static_cast<int>(GetInt(details, "lineNumber")) + 1);
  } else if (method == "Runtime.bindingCalled") {
    OnBindingCalled(session_id, params);
  } else if (method == "Page.javascriptDialogOpening") {
    OnDialog(session_id, params);
  } else if (method == "Page.windowOpen") {
    OnWindowOpen(params);
  } else if (method == "Inspector.targetCrashed" && session_id == session_id_) {
    LOG(ERROR) << "browser " << id_ << ": the page's process crashed";
    if (auto request = client_ ? client_->GetRequestHandler() : nullptr) {
      request->OnRenderProcessTerminated(this, TS_PROCESS_CRASHED);
    }
  }
}

void BrowserImpl::OnFrameNavigated(const std::string& session_id, const Json& frame_json) {
  const std::string devtools_id = GetString(frame_json, "id");
  // An iframe target's own frame has a parent too, in another session.
  const bool is_main = !Member(frame_json, "parentId") && session_id == session_id_;
  FrameImpl* frame = nullptr;
  if (is_main) {
    frame = main_frame_.get();
    if (!frame) return;
    if (frame->devtools_id() != devtools_id) {
      frames_by_devtools_.erase(frame->devtools_id());
      frame->set_devtools_id(devtools_id);
      frames_by_devtools_[devtools_id] = frame;
    }
  } else {
    frame = FrameFor(devtools_id, true, session_id);
    if (!frame) return;
    if (FrameImpl* parent = FrameFor(GetString(frame_json, "parentId"), false); parent && parent != frame) {
      frame->set_parent(parent);
    }
  }
  std::string url = GetString(frame_json, "unreachableUrl");
  if (url.empty()) url = GetString(frame_json, "url") + GetString(frame_json, "urlFragment");
  frame->set_url(url);
  frame->set_name(GetString(frame_json, "name"));
  if (is_main) {
    has_document_ = url != "about:blank";
    has_title_ = false;
    RequestHistory();
  }
  CefRefPtr<FrameImpl> keep = frame;
  if (auto display = client_ ? client_->GetDisplayHandler() : nullptr) {
    display->OnAddressChange(this, keep.get(), url);
  }
  if (auto load = client_ ? client_->GetLoadHandler() : nullptr) {
    load->OnLoadStart(this, keep.get());
  }
}

void BrowserImpl::OnLoading(const std::string& devtools_frame_id, bool loading) {
  FrameImpl* frame = FrameFor(devtools_frame_id, false);
  if (!frame) return;
  CefRefPtr<FrameImpl> keep = frame;
  CefRefPtr<CefLoadHandler> load = client_ ? client_->GetLoadHandler() : nullptr;
  if (!loading && load) {
    auto status = http_status_.find(devtools_frame_id);
    load->OnLoadEnd(this, keep.get(), status == http_status_.end() ? 0 : status->second);
  }
  if (!keep->IsMain() || loading == loading_ || !live()) return;
  loading_ = loading;
  if (load) load->OnLoadingStateChange(this, loading, can_go_back_, can_go_forward_);
}

void BrowserImpl::ReportLoadError(const std::string& devtools_frame_id,
                                  const std::string& error_text, const std::string& url,
                                  const std::string& request_id) {
  if (!live()) return;
  // The navigation's reply and the failed request can both report one
  // failure; they share its id.
  if (!request_id.empty()) {
    if (std::find(reported_errors_.begin(), reported_errors_.end(), request_id) !=
        reported_errors_.end()) {
      return;
    }
    reported_errors_.push_back(request_id);
    if (reported_errors_.size() > kRememberedErrors) reported_errors_.pop_front();
  }
  FrameImpl* frame = FrameFor(devtools_frame_id, true);
  if (!frame) return;
  CefRefPtr<FrameImpl> keep = frame;
  if (auto load = client_ ? client_->GetLoadHandler() : nullptr) {
    load->OnLoadError(this, keep.get(), NetErrorCode(error_text), NetErrorName(error_text), url);
  }
}

void BrowserImpl::ReportConsole(const std::string& message, const std::string& source, int line) {
  if (!live()) return;
  bool handled = false;
  if (auto display = client_ ? client_->GetDisplayHandler() : nullptr) {
    handled = display->OnConsoleMessage(this, message, source, line);
  }
  if (!handled && engine_->logging_enabled()) {
    LOG(INFO) << "console: \"" << message << "\", source: " << source << " (" << line << ")";
  }
}

void BrowserImpl::OnBindingCalled(const std::string& session_id, const Json& params) {
  if (GetString(params, "name") != kPageAgentBinding) return;
  const std::string payload = GetString(params, "payload");
  Json report = Json::parse(payload, nullptr, false);
  if (report.is_discarded() || !report.is_object()) return;
  const std::string type = GetString(report, "t");
  const std::string value = GetString(report, "v");
  if (type == "cursor") {
    OnCursorReport(session_id, static_cast<int>(GetInt(params, "executionContextId")), value);
  } else if (type == "title") {
    // The browser's title is its main document's.
    auto context = context_frames_.find(
        {session_id, static_cast<int>(GetInt(params, "executionContextId"))});
    if (context == context_frames_.end()) return;
    FrameImpl* frame = FrameFor(context->second, false);
    if (frame && frame->IsMain()) OnTitleReport(value);
  }
}

void BrowserImpl::OnTitleReport(const std::string& title) {
  const std::string& url = main_frame_ ? main_frame_->url() : std::string();
  // An untitled document shows its address; the initial blank page shows
  // nothing.
  if (title.empty() && (url.empty() || url == "about:blank")) return;
  std::string shown = title.empty() ? url : title;
  if (has_title_ && shown == last_title_) return;
  has_title_ = true;
  last_title_ = shown;
  if (auto display = client_ ? client_->GetDisplayHandler() : nullptr) {
    display->OnTitleChange(this, shown);
  }
}

void BrowserImpl::OnCursorReport(const std::string& session_id, int context_id,
                                 const std::string& css) {
  std::pair<std::string, int> document{session_id, context_id};
  if (document != cursor_document_) {
    if (!cursor_document_.first.empty()) {
      // Gone documents (and sessions) answer with an error: nothing to reset.
      SendToSession(cursor_document_.first, "Runtime.evaluate",
                    {{"expression", kPageAgentCursorReset},
                     {"contextId", cursor_document_.second}},
                    [](const Json&, const std::string&) {});
    }
    cursor_document_ = document;
  }
  cef_cursor_type_t type = CursorTypeForCss(css);
  if (cursor_known_ && type == cursor_) return;
  cursor_known_ = true;
  cursor_ = type;
  if (auto render = client_ ? client_->GetRenderHandler() : nullptr) {
    render->OnCursorChange(this, cef_internal::CursorHandleForType(type), type, CefCursorInfo());
  }
}

void BrowserImpl::OnDialog(const std::string& session_id, const Json& params) {
  const std::string type = GetString(params, "type");
  const std::string message = GetString(params, "message");
  // Answered on the session that reported it (the page's, so far, even for
  // dialogs of out-of-process iframes).
  CefRefPtr<DialogCallback> callback = new DialogCallback(engine_->sender(), session_id);
  CefRefPtr<CefJSDialogHandler> handler = client_ ? client_->GetJSDialogHandler() : nullptr;
  if (type == "beforeunload") {
    if (handler && handler->OnBeforeUnloadDialog(this, message, false, callback.get())) return;
    if (callback->Claim()) {
      SendToSession(session_id, "Page.handleJavaScriptDialog", {{"accept", true}});
    }
    return;
  }
  cef_jsdialog_type_t dialog_type = type == "confirm" ? JSDIALOGTYPE_CONFIRM
                                    : type == "prompt" ? JSDIALOGTYPE_PROMPT
                                                       : JSDIALOGTYPE_ALERT;
  bool suppress = false;
  bool kept_open = false;
  if (handler) {
    kept_open = handler->OnJSDialog(this, OriginOf(GetString(params, "url")), CefString(),
                                    dialog_type, message, GetString(params, "defaultPrompt"),
                                    callback.get(), suppress);
  }
  if (kept_open && !suppress) return;
  // Suppressed, or not handled: windowless browsers show no dialogs.
  if (callback->Claim()) {
    SendToSession(session_id, "Page.handleJavaScriptDialog", {{"accept", false}});
  }
}

void BrowserImpl::OnWindowOpen(const Json& params) {
  const std::string url = GetString(params, "url");
  CefRefPtr<CefLifeSpanHandler> life = client_ ? client_->GetLifeSpanHandler() : nullptr;
  bool cancelled = false;
  if (life) {
    CefPopupFeatures features;
    for (const Json& feature : GetArray(params, "windowFeatures")) {
      if (!feature.is_string()) continue;
      const std::string& f = feature.get_ref<const std::string&>();
      size_t eq = f.find('=');
      if (eq == std::string::npos) continue;
      std::string key = f.substr(0, eq);
      int value = std::atoi(f.c_str() + eq + 1);
      if (key == "left" || key == "screenx") features.x = value, features.xSet = 1;
      if (key == "top" || key == "screeny") features.y = value, features.ySet = 1;
      if (key == "width") features.width = value, features.widthSet = 1;
      if (key == "height") features.height = value, features.heightSet = 1;
    }
    CefWindowInfo window_info;
    CefRefPtr<CefClient> client = client_;
    CefBrowserSettings settings;
    bool no_javascript_access = false;
    cef_window_open_disposition_t disposition =
        GetArray(params, "windowFeatures").empty() ? WOD_NEW_FOREGROUND_TAB : WOD_NEW_POPUP;
    cancelled = life->OnBeforePopup(this, main_frame_.get(), url, GetString(params, "windowName"),
                                    disposition, GetBool(params, "userGesture"), features,
                                    window_info, client, settings, &no_javascript_access);
  }
  if (!cancelled) {
    LOG(INFO) << "popup to " << url << " not opened: windowless browsers open no popups";
  }
}

}  // namespace cef_engine
