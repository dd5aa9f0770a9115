#include "cef/testing/scripted_engine.h"

#include <atomic>
#include <deque>
#include <thread>
#include <utility>

#include "cef/common/command_line.h"
#include "cef/common/cookie_manager.h"
#include "cef/common/cursor.h"
#include "cef/common/execute_process.h"
#include "cef/common/list_value.h"
#include "cef/common/scheme_registrar.h"
#include "cef/include/cef_cookie.h"
#include "cef/include/cef_task.h"
#include "ipc/base/logging.h"

namespace cef_testing {
namespace {

ScriptedEngine* g_engine = nullptr;
std::atomic<int> g_child_exit_code{0};
std::thread::id g_ui_thread;
std::thread::id g_io_thread;

}  // namespace

struct ScriptedEngine::Internals {
  mutable std::mutex lock;
  std::deque<std::function<void()>> tasks;
  std::vector<Call> calls;
  std::map<int, CefRefPtr<BrowserImpl>> browsers;  // every browser ever created
  std::vector<int> open;                           // not yet closed, in order
  int next_browser_id = 1;
  bool engine_lost = false;
  CefRefPtr<cef_internal::CookieManagerImpl> cookies = new cef_internal::CookieManagerImpl();
  std::vector<std::u16string> custom_schemes;
};

class FrameImpl : public CefFrame {
 public:
  FrameImpl(ScriptedEngine::BrowserImpl* browser, int64_t id, bool is_main, std::string name,
            std::string url);

  void Invalidate() { valid_ = false; }
  void SetURL(const std::string& url) { url_ = url; }

  bool IsValid() override { return valid_; }
  void LoadURL(const CefString& url) override;
  void ExecuteJavaScript(const CefString& code, const CefString& script_url,
                         int start_line) override;
  bool IsMain() override { return is_main_; }
  bool IsFocused() override { return is_main_; }
  CefString GetName() override { return name_; }
  int64_t GetIdentifier() override { return id_; }
  CefRefPtr<CefFrame> GetParent() override;
  CefString GetURL() override { return url_; }
  CefRefPtr<CefBrowser> GetBrowser() override;

 private:
  CefRefPtr<ScriptedEngine::BrowserImpl> browser_;
  int64_t id_;
  bool is_main_;
  std::string name_;
  std::string url_;
  bool valid_ = true;

  IMPLEMENT_REFCOUNTING(FrameImpl);
};

namespace {
std::atomic<int64_t> g_next_frame_id{1};
}

class ScriptedEngine::BrowserImpl : public CefBrowser, public CefBrowserHost {
 public:
  BrowserImpl(ScriptedEngine* engine, int id, CefRefPtr<CefClient> client)
      : engine_(engine), id_(id), client_(client) {}

  // Engine side (UI thread).
  void CreateMainFrame() {
    main_frame_ = new FrameImpl(this, g_next_frame_id++, true, "", "");
    frames_[main_frame_->GetIdentifier()] = main_frame_;
  }
  void ReadViewRect() {
    CefRefPtr<CefRenderHandler> render = client_ ? client_->GetRenderHandler() : nullptr;
    if (!render) return;
    CefRect rect;
    if (render->GetViewRect(this, rect) && !rect.IsEmpty()) view_rect_ = rect;
    CefScreenInfo info;
    render->GetScreenInfo(this, info);
  }
  void Finish() {
    if (closed_) return;
    closed_ = true;
    if (CefRefPtr<CefLifeSpanHandler> life = client_ ? client_->GetLifeSpanHandler() : nullptr) {
      life->OnBeforeClose(this);
    }
    for (auto& [fid, frame] : frames_) frame->Invalidate();
    frames_.clear();
    main_frame_ = nullptr;
    client_ = nullptr;  // the engine's release of the client
  }
  bool closed() const { return closed_; }
  bool closing() const { return closing_; }
  CefRect view_rect() const { return view_rect_; }
  int64_t main_frame_id() const { return main_frame_ ? main_frame_->GetIdentifier() : 0; }
  CefRefPtr<FrameImpl> FindFrame(int64_t frame_id) {
    if (frame_id == 0) return main_frame_;
    auto it = frames_.find(frame_id);
    return it == frames_.end() ? nullptr : it->second;
  }
  int64_t AddFrame(const std::string& name, const std::string& url) {
    CefRefPtr<FrameImpl> frame = new FrameImpl(this, g_next_frame_id++, false, name, url);
    frames_[frame->GetIdentifier()] = frame;
    return frame->GetIdentifier();
  }
  void RemoveFrame(int64_t frame_id) {
    auto it = frames_.find(frame_id);
    if (it == frames_.end() || it->second == main_frame_) return;
    it->second->Invalidate();
    frames_.erase(it);
  }
  void StorePaint(const std::vector<uint8_t>& pixels, int width, int height) {
    last_pixels_ = pixels;
    last_width_ = width;
    last_height_ = height;
  }
  void SetLoading(bool loading) { loading_ = loading; }
  ScriptedEngine* engine() const { return engine_; }
  bool live() const { return !closed_ && !closing_ && !engine_->internals().engine_lost; }

  // CefBrowser.
  CefRefPtr<CefBrowserHost> GetHost() override { return this; }
  bool CanGoBack() override { return false; }
  void GoBack() override { Simple(Call::kGoBack); }
  bool CanGoForward() override { return false; }
  void GoForward() override { Simple(Call::kGoForward); }
  bool IsLoading() override { return loading_; }
  void Reload() override { Simple(Call::kReload); }
  void ReloadIgnoreCache() override { Simple(Call::kReload); }
  void StopLoad() override { Simple(Call::kStopLoad); }
  int GetIdentifier() override { return id_; }
  bool IsSame(CefRefPtr<CefBrowser> that) override {
    return that && that->GetIdentifier() == id_;
  }
  bool IsPopup() override { return false; }
  bool HasDocument() override { return true; }
  CefRefPtr<CefFrame> GetMainFrame() override { return main_frame_.get(); }
  CefRefPtr<CefFrame> GetFocusedFrame() override { return main_frame_.get(); }
  CefRefPtr<CefFrame> GetFrame(int64_t identifier) override {
    auto it = frames_.find(identifier);
    return it == frames_.end() ? nullptr : it->second.get();
  }
  size_t GetFrameCount() override { return frames_.size(); }
  void GetFrameIdentifiers(std::vector<int64_t>& identifiers) override {
    identifiers.clear();
    for (auto& [fid, frame] : frames_) identifiers.push_back(fid);
  }

  // CefBrowserHost.
  CefRefPtr<CefBrowser> GetBrowser() override { return this; }
  void CloseBrowser(bool force_close) override {
    Call call{Call::kCloseBrowser};
    call.flag = force_close;
    Record(call);
    if (closed_ || closing_) return;
    closing_ = true;
    CefRefPtr<BrowserImpl> self = this;
    engine_->Post([self] { self->engine_->FinishBrowser(self->id_); });
  }
  void SetFocus(bool focus) override {
    Call call{Call::kSetFocus};
    call.flag = focus;
    Record(call);
  }
  CefRefPtr<CefClient> GetClient() override { return client_; }
  double GetZoomLevel() override { return zoom_level_; }
  void SetZoomLevel(double zoomLevel) override {
    Call call{Call::kZoom};
    call.zoom_level = zoomLevel;
    Record(call);
    if (live()) zoom_level_ = zoomLevel;
  }
  bool IsWindowRenderingDisabled() override { return true; }
  void WasResized() override {
    Simple(Call::kWasResized);
    if (!live()) return;
    CefRefPtr<BrowserImpl> self = this;
    engine_->Post([self] {
      if (!self->closed_) self->ReadViewRect();
    });
  }
  void WasHidden(bool hidden) override {
    Call call{Call::kWasHidden};
    call.flag = hidden;
    Record(call);
  }
  void NotifyScreenInfoChanged() override { Simple(Call::kNotifyScreenInfoChanged); }
  void Invalidate(PaintElementType type) override {
    Call call{Call::kInvalidate};
    call.paint_type = type;
    Record(call);
    if (!live() || type != PET_VIEW || last_pixels_.empty()) return;
    // Like the real engine: the whole view again, from the last frame.
    engine_->Paint(id_, PET_VIEW, {CefRect(0, 0, last_width_, last_height_)}, last_pixels_,
                   last_width_, last_height_);
  }
  void SendKeyEvent(const CefKeyEvent& event) override {
    Call call{Call::kKey};
    call.key = event;
    Record(call);
  }
  void SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type, bool mouseUp,
                           int clickCount) override {
    Call call{Call::kMouseClick};
    call.mouse = event;
    call.button = type;
    call.mouse_up = mouseUp;
    call.click_count = clickCount;
    Record(call);
  }
  void SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) override {
    Call call{Call::kMouseMove};
    call.mouse = event;
    call.mouse_leave = mouseLeave;
    Record(call);
  }
  void SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) override {
    Call call{Call::kMouseWheel};
    call.mouse = event;
    call.delta_x = deltaX;
    call.delta_y = deltaY;
    Record(call);
  }
  void SendFocusEvent(bool setFocus) override {
    Call call{Call::kFocus};
    call.flag = setFocus;
    Record(call);
  }
  void SendCaptureLostEvent() override { Simple(Call::kCaptureLost); }

  void Record(Call call) {
    call.browser_id = id_;
    engine_->Record(std::move(call));
  }

 private:
  void Simple(Call::Type type) { Record(Call{type}); }

  ScriptedEngine* engine_;
  int id_;
  CefRefPtr<CefClient> client_;
  CefRefPtr<FrameImpl> main_frame_;
  std::map<int64_t, CefRefPtr<FrameImpl>> frames_;
  CefRect view_rect_{0, 0, 1, 1};
  double zoom_level_ = 0;
  bool closing_ = false;
  bool closed_ = false;
  bool loading_ = false;
  std::vector<uint8_t> last_pixels_;
  int last_width_ = 0;
  int last_height_ = 0;

  IMPLEMENT_REFCOUNTING(BrowserImpl);

  friend class ScriptedEngine;
};

FrameImpl::FrameImpl(ScriptedEngine::BrowserImpl* browser, int64_t id, bool is_main,
                     std::string name, std::string url)
    : browser_(browser), id_(id), is_main_(is_main), name_(std::move(name)),
      url_(std::move(url)) {}

void FrameImpl::LoadURL(const CefString& url) {
  Call call{Call::kLoadURL};
  call.frame_id = id_;
  call.url = url.ToString();
  browser_->Record(call);
}

void FrameImpl::ExecuteJavaScript(const CefString& code, const CefString& script_url,
                                  int start_line) {
  Call call{Call::kExecuteJavaScript};
  call.frame_id = id_;
  call.code = code.ToString16();
  call.url = script_url.ToString();
  call.start_line = start_line;
  browser_->Record(call);
}

CefRefPtr<CefFrame> FrameImpl::GetParent() {
  return is_main_ ? nullptr : browser_->GetMainFrame();
}

CefRefPtr<CefBrowser> FrameImpl::GetBrowser() { return browser_.get(); }

namespace {

class DialogCallback : public CefJSDialogCallback {
 public:
  explicit DialogCallback(std::shared_ptr<DialogOutcome> outcome) : outcome_(outcome) {}
  void Continue(bool success, const CefString& user_input) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (outcome_->continued) return;
    outcome_->continued = true;
    outcome_->success = success;
    outcome_->user_input = user_input.ToString16();
  }

 private:
  std::mutex lock_;
  std::shared_ptr<DialogOutcome> outcome_;
  IMPLEMENT_REFCOUNTING(DialogCallback);
};

}  // namespace

ScriptedEngine* ScriptedEngine::Get() { return g_engine; }

void ScriptedEngine::SetChildProcessExitCode(int code) { g_child_exit_code = code; }

ScriptedEngine::ScriptedEngine(const CefSettings& settings, CefRefPtr<CefApp> app)
    : settings_(settings), app_(app), internals_(new Internals()) {}

ScriptedEngine::~ScriptedEngine() = default;

std::vector<CefString> ScriptedEngine::cookie_schemes() const {
  return internals_->cookies->supported_schemes();
}

std::vector<std::u16string> ScriptedEngine::custom_schemes() const {
  std::lock_guard<std::mutex> hold(internals_->lock);
  return internals_->custom_schemes;
}

std::vector<Call> ScriptedEngine::calls() const {
  std::lock_guard<std::mutex> hold(internals_->lock);
  return internals_->calls;
}

std::vector<Call> ScriptedEngine::TakeCalls() {
  std::lock_guard<std::mutex> hold(internals_->lock);
  return std::exchange(internals_->calls, {});
}

std::vector<int> ScriptedEngine::browser_ids() const {
  std::lock_guard<std::mutex> hold(internals_->lock);
  return internals_->open;
}

ScriptedEngine::BrowserImpl* ScriptedEngine::Find(int id) const {
  std::lock_guard<std::mutex> hold(internals_->lock);
  auto it = internals_->browsers.find(id);
  return it == internals_->browsers.end() ? nullptr : it->second.get();
}

CefRefPtr<CefBrowser> ScriptedEngine::browser(int id) const { return Find(id); }

CefRefPtr<CefClient> ScriptedEngine::client(int id) const {
  BrowserImpl* b = Find(id);
  return b ? b->GetClient() : nullptr;
}

CefRect ScriptedEngine::view_rect(int id) const {
  BrowserImpl* b = Find(id);
  return b ? b->view_rect() : CefRect();
}

int64_t ScriptedEngine::main_frame_id(int id) const {
  BrowserImpl* b = Find(id);
  return b ? b->main_frame_id() : 0;
}

int64_t ScriptedEngine::AddFrame(int id, const std::string& name, const std::string& url) {
  BrowserImpl* b = Find(id);
  return b && !b->closed() ? b->AddFrame(name, url) : 0;
}

void ScriptedEngine::RemoveFrame(int id, int64_t frame_id) {
  if (BrowserImpl* b = Find(id)) b->RemoveFrame(frame_id);
}

void ScriptedEngine::Record(Call call) {
  std::lock_guard<std::mutex> hold(internals_->lock);
  internals_->calls.push_back(std::move(call));
}

void ScriptedEngine::Post(std::function<void()> task) {
  std::lock_guard<std::mutex> hold(internals_->lock);
  internals_->tasks.push_back(std::move(task));
}

void ScriptedEngine::RunPending() {
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> hold(internals_->lock);
    tasks.swap(internals_->tasks);
  }
  for (auto& task : tasks) task();
}

namespace {

// Runs fn(browser, client) on the UI thread in the next round, if the
// browser is still open then.
template <typename Fn>
void PostToBrowser(ScriptedEngine* engine, CefRefPtr<CefBrowser> browser, Fn fn) {
  if (!browser) return;
  engine->Post([browser, fn] {
    CefRefPtr<CefClient> client = browser->GetHost()->GetClient();
    if (client) fn(browser, client);
  });
}

}  // namespace

void ScriptedEngine::Paint(int id, cef_paint_element_type_t type,
                           std::vector<CefRect> dirty_rects, std::vector<uint8_t> pixels,
                           int width, int height) {
  CefRefPtr<BrowserImpl> b = Find(id);
  if (!b) return;
  Post([b, type, rects = std::move(dirty_rects), px = std::move(pixels), width, height] {
    CefRefPtr<CefClient> client = b->GetClient();
    CefRefPtr<CefRenderHandler> render = client ? client->GetRenderHandler() : nullptr;
    if (!render) return;
    if (type == PET_VIEW) b->StorePaint(px, width, height);
    render->OnPaint(b.get(), type, rects, px.empty() ? nullptr : px.data(), width, height);
  });
}

void ScriptedEngine::AddressChange(int id, int64_t frame_id, const std::string& url) {
  CefRefPtr<BrowserImpl> b = Find(id);
  if (!b) return;
  Post([b, frame_id, url] {
    CefRefPtr<FrameImpl> frame = b->FindFrame(frame_id);
    CefRefPtr<CefClient> client = b->GetClient();
    if (!frame || !client) return;
    frame->SetURL(url);
    if (auto display = client->GetDisplayHandler()) display->OnAddressChange(b.get(), frame.get(), url);
  });
}

void ScriptedEngine::TitleChange(int id, const std::u16string& title) {
  PostToBrowser(this, Find(id), [title](CefRefPtr<CefBrowser> b, CefRefPtr<CefClient> c) {
    if (auto display = c->GetDisplayHandler()) display->OnTitleChange(b, title);
  });
}

void ScriptedEngine::ConsoleMessage(int id, const std::u16string& message,
                                    const std::u16string& source, int line) {
  PostToBrowser(this, Find(id), [=](CefRefPtr<CefBrowser> b, CefRefPtr<CefClient> c) {
    if (auto display = c->GetDisplayHandler()) display->OnConsoleMessage(b, message, source, line);
  });
}

void ScriptedEngine::LoadingStateChange(int id, bool is_loading, bool can_go_back,
                                        bool can_go_forward) {
  CefRefPtr<BrowserImpl> b = Find(id);
  if (!b) return;
  Post([=] {
    CefRefPtr<CefClient> c = b->GetClient();
    if (!c) return;
    b->SetLoading(is_loading);
    if (auto load = c->GetLoadHandler()) {
      load->OnLoadingStateChange(b.get(), is_loading, can_go_back, can_go_forward);
    }
  });
}

void ScriptedEngine::LoadStart(int id, int64_t frame_id) {
  CefRefPtr<BrowserImpl> b = Find(id);
  if (!b) return;
  Post([=] {
    CefRefPtr<FrameImpl> frame = b->FindFrame(frame_id);
    CefRefPtr<CefClient> c = b->GetClient();
    if (!frame || !c) return;
    if (auto load = c->GetLoadHandler()) load->OnLoadStart(b.get(), frame.get());
  });
}

void ScriptedEngine::LoadEnd(int id, int64_t frame_id, int http_status_code) {
  CefRefPtr<BrowserImpl> b = Find(id);
  if (!b) return;
  Post([=] {
    CefRefPtr<FrameImpl> frame = b->FindFrame(frame_id);
    CefRefPtr<CefClient> c = b->GetClient();
    if (!frame || !c) return;
    if (auto load = c->GetLoadHandler()) load->OnLoadEnd(b.get(), frame.get(), http_status_code);
  });
}

void ScriptedEngine::LoadError(int id, int64_t frame_id, cef_errorcode_t code,
                               const std::string& text, const std::string& failed_url) {
  CefRefPtr<BrowserImpl> b = Find(id);
  if (!b) return;
  Post([=] {
    CefRefPtr<FrameImpl> frame = b->FindFrame(frame_id);
    CefRefPtr<CefClient> c = b->GetClient();
    if (!frame || !c) return;
    if (auto load = c->GetLoadHandler()) {
      load->OnLoadError(b.get(), frame.get(), code, text, failed_url);
    }
  });
}

std::shared_ptr<DialogOutcome> ScriptedEngine::JSDialog(int id, const std::string& origin_url,
                                                        cef_jsdialog_type_t type,
                                                        const std::u16string& message,
                                                        const std::u16string& default_prompt) {
  auto outcome = std::make_shared<DialogOutcome>();
  PostToBrowser(this, Find(id), [=](CefRefPtr<CefBrowser> b, CefRefPtr<CefClient> c) {
    CefRefPtr<CefJSDialogHandler> handler = c->GetJSDialogHandler();
    if (!handler) return;
    bool suppress = false;
    CefRefPtr<DialogCallback> callback = new DialogCallback(outcome);
    bool handled = handler->OnJSDialog(b, origin_url, CefString(), type, message,
                                       default_prompt, callback.get(), suppress);
    outcome->delivered = true;
    outcome->handler_returned = handled;
    outcome->suppressed = suppress;
  });
  return outcome;
}

std::shared_ptr<PopupOutcome> ScriptedEngine::Popup(int id, const std::string& target_url,
                                                    const std::string& frame_name,
                                                    bool user_gesture) {
  auto outcome = std::make_shared<PopupOutcome>();
  PostToBrowser(this, Find(id), [=](CefRefPtr<CefBrowser> b, CefRefPtr<CefClient> c) {
    CefRefPtr<CefLifeSpanHandler> life = c->GetLifeSpanHandler();
    if (!life) return;
    CefPopupFeatures features;
    CefWindowInfo window_info;
    CefRefPtr<CefClient> popup_client = c;
    CefBrowserSettings settings;
    bool no_javascript_access = false;
    outcome->handler_returned = life->OnBeforePopup(
        b, b->GetMainFrame(), target_url, frame_name, WOD_NEW_FOREGROUND_TAB, user_gesture,
        features, window_info, popup_client, settings, &no_javascript_access);
    outcome->delivered = true;
  });
  return outcome;
}

void ScriptedEngine::CursorChange(int id, cef_cursor_type_t type) {
  PostToBrowser(this, Find(id), [type](CefRefPtr<CefBrowser> b, CefRefPtr<CefClient> c) {
    if (auto render = c->GetRenderHandler()) {
      render->OnCursorChange(b, cef_internal::CursorHandleForType(type), type, CefCursorInfo());
    }
  });
}

void ScriptedEngine::PopupShow(int id, bool show) {
  PostToBrowser(this, Find(id), [show](CefRefPtr<CefBrowser> b, CefRefPtr<CefClient> c) {
    if (auto render = c->GetRenderHandler()) render->OnPopupShow(b, show);
  });
}

void ScriptedEngine::PopupSize(int id, const CefRect& rect) {
  PostToBrowser(this, Find(id), [rect](CefRefPtr<CefBrowser> b, CefRefPtr<CefClient> c) {
    if (auto render = c->GetRenderHandler()) render->OnPopupSize(b, rect);
  });
}

void ScriptedEngine::RenderProcessTerminated(int id, cef_termination_status_t status) {
  PostToBrowser(this, Find(id), [status](CefRefPtr<CefBrowser> b, CefRefPtr<CefClient> c) {
    if (auto request = c->GetRequestHandler()) request->OnRenderProcessTerminated(b, status);
  });
}

void ScriptedEngine::FinishBrowser(int id) {
  CefRefPtr<BrowserImpl> b = Find(id);
  if (!b || b->closed()) return;
  {
    std::lock_guard<std::mutex> hold(internals_->lock);
    std::erase(internals_->open, id);
  }
  b->Finish();
}

void ScriptedEngine::BrowserClosed(int id) {
  CefRefPtr<BrowserImpl> b = Find(id);
  if (!b) return;
  b->closing_ = true;
  Post([this, id] { FinishBrowser(id); });
}

void ScriptedEngine::EngineLost() {
  LOG(ERROR) << "scripted engine lost";
  std::vector<int> open;
  {
    std::lock_guard<std::mutex> hold(internals_->lock);
    internals_->engine_lost = true;
    open = internals_->open;
  }
  for (int id : open) Post([this, id] { FinishBrowser(id); });
}

CefRefPtr<CefCommandLine> ScriptedEngine::LaunchChildProcess(const std::string& type) {
  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->SetProgram("/proc/self/exe");
  line->AppendSwitchWithValue("type", type);
  if (app_) {
    if (auto handler = app_->GetBrowserProcessHandler()) handler->OnBeforeChildProcessLaunch(line);
  }
  return line;
}

CefRefPtr<CefListValue> ScriptedEngine::RunRenderProcessThreadCreated() {
  CefRefPtr<CefListValue> list = CefListValue::Create();
  CefRefPtr<CefApp> app = app_;
  std::thread io([app, list] {
    g_io_thread = std::this_thread::get_id();
    if (app) {
      if (auto handler = app->GetBrowserProcessHandler()) {
        handler->OnRenderProcessThreadCreated(list);
      }
    }
    g_io_thread = std::thread::id();
  });
  io.join();
  return list;
}

}  // namespace cef_testing

using cef_testing::ScriptedEngine;

int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application,
                      void* /*windows_sandbox_info*/) {
  std::string type;
  if (!cef_internal::BeginChildProcess(args, application, &type)) return -1;
  return cef_testing::g_child_exit_code;
}

bool CefInitialize(const CefMainArgs& args, const CefSettings& settings,
                   CefRefPtr<CefApp> application, void* /*windows_sandbox_info*/) {
  if (cef_testing::g_engine) {
    LOG(ERROR) << "CefInitialize called twice";
    return false;
  }
  if (settings.size != sizeof(cef_settings_t)) {
    LOG(ERROR) << "CefInitialize: settings size " << settings.size << ", expected "
               << sizeof(cef_settings_t);
    return false;
  }
  if (settings.multi_threaded_message_loop) {
    LOG(ERROR) << "CefInitialize: only the single-threaded message loop is supported";
    return false;
  }
  if (args.argc > 0) cef_internal::InitGlobalCommandLine(args.argc, args.argv);
  cef_testing::g_ui_thread = std::this_thread::get_id();
  auto* engine = new ScriptedEngine(settings, application);
  cef_testing::g_engine = engine;
  if (application) {
    CefRefPtr<CefCommandLine> line = CefCommandLine::GetGlobalCommandLine()->Copy();
    application->OnBeforeCommandLineProcessing(CefString(), line);
    CefRefPtr<cef_internal::SchemeRegistrarImpl> registrar =
        new cef_internal::SchemeRegistrarImpl();
    application->OnRegisterCustomSchemes(registrar.get());
    {
      std::lock_guard<std::mutex> hold(engine->internals().lock);
      engine->internals().custom_schemes = registrar->schemes();
    }
    CefRefPtr<CefApp> app = application;
    engine->Post([app] {
      if (auto handler = app->GetBrowserProcessHandler()) handler->OnContextInitialized();
    });
  }
  return true;
}

void CefDoMessageLoopWork() {
  ScriptedEngine* engine = cef_testing::g_engine;
  if (!engine) return;
  if (std::this_thread::get_id() != cef_testing::g_ui_thread) {
    LOG(ERROR) << "CefDoMessageLoopWork called off the UI thread";
    return;
  }
  engine->RunPending();
}

void CefShutdown() {
  ScriptedEngine* engine = cef_testing::g_engine;
  if (!engine) return;
  if (std::this_thread::get_id() != cef_testing::g_ui_thread) {
    LOG(ERROR) << "CefShutdown called off the UI thread";
    return;
  }
  engine->RunPending();
  for (int id : engine->browser_ids()) {
    if (CefRefPtr<CefBrowser> b = engine->browser(id)) b->GetHost()->CloseBrowser(true);
  }
  // Closing posts OnBeforeClose; callbacks may post more work.
  for (int round = 0; round < 100 && !engine->browser_ids().empty(); ++round) {
    engine->RunPending();
  }
  engine->RunPending();
  cef_testing::g_engine = nullptr;
  delete engine;
  cef_testing::g_ui_thread = std::thread::id();
}

bool CefCurrentlyOn(CefThreadId thread_id) {
  std::thread::id self = std::this_thread::get_id();
  switch (thread_id) {
    case TID_UI:
      return cef_testing::g_engine && self == cef_testing::g_ui_thread;
    case TID_IO:
      return self == cef_testing::g_io_thread;
    default:
      return false;
  }
}

CefRefPtr<CefCookieManager> CefCookieManager::GetGlobalManager(
    CefRefPtr<CefCompletionCallback> callback) {
  ScriptedEngine* engine = cef_testing::g_engine;
  if (!engine) return nullptr;
  if (callback) callback->OnComplete();
  return engine->internals().cookies.get();
}

bool CefBrowserHost::CreateBrowser(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                                   const CefString& url, const CefBrowserSettings& settings,
                                   CefRefPtr<CefRequestContext> /*request_context*/) {
  ScriptedEngine* engine = cef_testing::g_engine;
  if (!engine) {
    LOG(ERROR) << "CreateBrowser before CefInitialize";
    return false;
  }
  cef_testing::Call call{cef_testing::Call::kCreateBrowser};
  call.url = url.ToString();
  call.transparent = windowInfo.transparent_painting_enabled != 0;
  call.file_access = settings.file_access_from_file_urls;
  if (engine->internals().engine_lost || !client || !client->GetRenderHandler() ||
      !windowInfo.windowless_rendering_enabled) {
    LOG(ERROR) << "CreateBrowser refused";
    engine->Record(call);
    return false;
  }
  CefRefPtr<ScriptedEngine::BrowserImpl> browser;
  {
    std::lock_guard<std::mutex> hold(engine->internals().lock);
    int id = engine->internals().next_browser_id++;
    browser = new ScriptedEngine::BrowserImpl(engine, id, client);
    engine->internals().browsers[id] = browser;
    engine->internals().open.push_back(id);
  }
  call.browser_id = browser->GetIdentifier();
  engine->Record(call);
  engine->Post([browser] {
    if (browser->closed()) return;
    browser->CreateMainFrame();
    browser->ReadViewRect();
    CefRefPtr<CefClient> c = browser->GetClient();
    if (auto life = c ? c->GetLifeSpanHandler() : nullptr) life->OnAfterCreated(browser.get());
  });
  return true;
}
