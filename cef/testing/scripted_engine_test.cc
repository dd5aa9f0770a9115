#include "cef/testing/scripted_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cef/include/cef_cookie.h"
#include "cef/include/cef_task.h"

namespace {

using cef_testing::Call;
using cef_testing::ScriptedEngine;

// A client that logs every callback it gets.
class LoggingClient : public CefClient,
                      public CefDisplayHandler,
                      public CefLifeSpanHandler,
                      public CefLoadHandler,
                      public CefRenderHandler,
                      public CefJSDialogHandler {
 public:
  explicit LoggingClient(std::vector<std::string>* log, bool* destroyed)
      : log_(log), destroyed_(destroyed) {}
  ~LoggingClient() override { *destroyed_ = true; }

  CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }

  bool GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) override {
    log_->push_back("GetViewRect");
    rect = CefRect(0, 0, width, 720);
    return true;
  }
  void OnPaint(CefRefPtr<CefBrowser>, PaintElementType, const RectList& rects,
               const void* buffer, int w, int h) override {
    log_->push_back("OnPaint " + std::to_string(rects.size()) + " " + std::to_string(w) + "x" +
                    std::to_string(h) + " " +
                    std::to_string(static_cast<const uint8_t*>(buffer)[0]));
  }
  void OnAfterCreated(CefRefPtr<CefBrowser> b) override {
    log_->push_back("OnAfterCreated");
    browser = b;
  }
  void OnBeforeClose(CefRefPtr<CefBrowser>) override {
    log_->push_back("OnBeforeClose");
    browser = nullptr;
  }
  void OnTitleChange(CefRefPtr<CefBrowser>, const CefString& title) override {
    log_->push_back("OnTitleChange " + title.ToString());
  }
  void OnAddressChange(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame,
                       const CefString& url) override {
    log_->push_back(std::string("OnAddressChange ") + (frame->IsMain() ? "main " : "sub ") +
                    url.ToString());
  }
  void OnLoadError(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame, ErrorCode code,
                   const CefString& text, const CefString& url) override {
    log_->push_back("OnLoadError " + std::to_string(code) + " " + text.ToString() + " " +
                    url.ToString() + (frame->IsMain() ? " main" : " sub"));
  }
  bool OnJSDialog(CefRefPtr<CefBrowser>, const CefString&, const CefString&, JSDialogType,
                  const CefString& message, const CefString&, CefRefPtr<CefJSDialogCallback>,
                  bool& suppress) override {
    log_->push_back("OnJSDialog " + message.ToString());
    suppress = true;
    return false;
  }

  int width = 1280;
  CefRefPtr<CefBrowser> browser;

 private:
  std::vector<std::string>* log_;
  bool* destroyed_;
  IMPLEMENT_REFCOUNTING(LoggingClient);
};

class TestApp : public CefApp, public CefBrowserProcessHandler {
 public:
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
  void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) override {
    registrar->AddCustomScheme("vemo", true, false, false);
  }
  void OnContextInitialized() override {
    context_initialized = true;
    CefCookieManager::GetGlobalManager()->SetSupportedSchemes({"http", "https"});
  }
  void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> line) override {
    if (line->GetSwitchValue("type") == "renderer") line->AppendArgument("--channel=x");
  }
  void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra) override {
    on_io = CefCurrentlyOn(TID_IO);
    extra->SetString(extra->GetSize(), "fn");
    extra->SetBool(extra->GetSize(), true);
  }
  bool context_initialized = false;
  bool on_io = false;
  IMPLEMENT_REFCOUNTING(TestApp);
};

class ScriptedEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = new TestApp();
    CefSettings settings;
    settings.windowless_rendering_enabled = 1;
    ASSERT_TRUE(CefInitialize(CefMainArgs(), settings, app_.get(), nullptr));
    engine_ = ScriptedEngine::Get();
    ASSERT_NE(engine_, nullptr);
  }
  void TearDown() override {
    client_ = nullptr;
    CefShutdown();
    EXPECT_EQ(ScriptedEngine::Get(), nullptr);
  }
  int CreateBrowser(const std::string& url = "") {
    client_ = new LoggingClient(&log_, &client_destroyed_);
    CefWindowInfo info;
    info.SetAsWindowless(0, true);
    CefBrowserSettings settings;
    settings.file_access_from_file_urls = STATE_ENABLED;
    EXPECT_TRUE(CefBrowserHost::CreateBrowser(info, client_.get(), url, settings, nullptr));
    CefDoMessageLoopWork();
    return engine_->browser_ids().back();
  }

  CefRefPtr<TestApp> app_;
  ScriptedEngine* engine_ = nullptr;
  CefRefPtr<LoggingClient> client_;
  std::vector<std::string> log_;
  bool client_destroyed_ = false;
};

TEST_F(ScriptedEngineTest, ContextIsInitialisedInTheFirstRound) {
  EXPECT_FALSE(app_->context_initialized);
  EXPECT_EQ(engine_->custom_schemes(), std::vector<std::u16string>{u"vemo"});
  CefDoMessageLoopWork();
  EXPECT_TRUE(app_->context_initialized);
  ASSERT_EQ(engine_->cookie_schemes().size(), 2u);
  EXPECT_EQ(engine_->cookie_schemes()[1].ToString(), "https");
}

TEST_F(ScriptedEngineTest, CreationAsksTheViewThenReportsTheBrowser) {
  int id = CreateBrowser("https://example.com/");
  EXPECT_EQ(log_, (std::vector<std::string>{"GetViewRect", "OnAfterCreated"}));
  EXPECT_EQ(engine_->view_rect(id), CefRect(0, 0, 1280, 720));
  std::vector<Call> calls = engine_->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].type, Call::kCreateBrowser);
  EXPECT_EQ(calls[0].url, "https://example.com/");
  EXPECT_TRUE(calls[0].transparent);
  EXPECT_EQ(calls[0].file_access, STATE_ENABLED);
  ASSERT_TRUE(client_->browser);
  EXPECT_EQ(client_->browser->GetIdentifier(), id);
  EXPECT_TRUE(client_->browser->GetHost()->IsWindowRenderingDisabled());
}

TEST_F(ScriptedEngineTest, RecordsWhatTheApplicationAsks) {
  int id = CreateBrowser();
  engine_->TakeCalls();
  CefRefPtr<CefBrowser> b = client_->browser;
  b->GetMainFrame()->LoadURL("file:///page.html");
  b->GetMainFrame()->ExecuteJavaScript(u"go()", "", 0);
  CefMouseEvent mouse;
  mouse.x = 16;
  mouse.y = -1;
  mouse.modifiers = EVENTFLAG_LEFT_MOUSE_BUTTON;
  b->GetHost()->SendMouseClickEvent(mouse, MBT_LEFT, false, 2);
  b->GetHost()->SendMouseWheelEvent(mouse, 0, 120);
  CefKeyEvent key;
  key.type = KEYEVENT_CHAR;
  key.windows_key_code = 0x61;
  b->GetHost()->SendKeyEvent(key);
  b->GetHost()->SetZoomLevel(2);
  std::vector<Call> calls = engine_->calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].type, Call::kLoadURL);
  EXPECT_EQ(calls[0].frame_id, engine_->main_frame_id(id));
  EXPECT_EQ(calls[0].url, "file:///page.html");
  EXPECT_EQ(calls[1].type, Call::kExecuteJavaScript);
  EXPECT_EQ(calls[1].code, u"go()");
  EXPECT_EQ(calls[2].type, Call::kMouseClick);
  EXPECT_EQ(calls[2].mouse.x, 16);
  EXPECT_EQ(calls[2].mouse.y, -1);
  EXPECT_EQ(calls[2].click_count, 2);
  EXPECT_FALSE(calls[2].mouse_up);
  EXPECT_EQ(calls[3].type, Call::kMouseWheel);
  EXPECT_EQ(calls[3].delta_y, 120);
  EXPECT_EQ(calls[4].type, Call::kKey);
  EXPECT_EQ(calls[4].key.type, KEYEVENT_CHAR);
  EXPECT_EQ(calls[5].type, Call::kZoom);
  EXPECT_EQ(calls[5].zoom_level, 2);
  EXPECT_EQ(b->GetHost()->GetZoomLevel(), 2);
}

TEST_F(ScriptedEngineTest, ScriptedEventsArriveInOrderInTheNextRound) {
  int id = CreateBrowser();
  log_.clear();
  int64_t child = engine_->AddFrame(id, "child", "about:blank");
  engine_->AddressChange(id, 0, "https://a/");
  engine_->AddressChange(id, child, "https://b/");
  engine_->TitleChange(id, u"T");
  engine_->LoadError(id, child, ERR_NAME_NOT_RESOLVED, "ERR_NAME_NOT_RESOLVED", "https://b/");
  EXPECT_TRUE(log_.empty());
  CefDoMessageLoopWork();
  EXPECT_EQ(log_, (std::vector<std::string>{
                      "OnAddressChange main https://a/", "OnAddressChange sub https://b/",
                      "OnTitleChange T",
                      "OnLoadError -105 ERR_NAME_NOT_RESOLVED https://b/ sub"}));
  EXPECT_EQ(client_->browser->GetMainFrame()->GetURL().ToString(), "https://a/");
}

TEST_F(ScriptedEngineTest, PaintsAndInvalidateRepaintsTheWholeView) {
  int id = CreateBrowser();
  log_.clear();
  std::vector<uint8_t> pixels(4 * 4 * 2, 7);
  engine_->Paint(id, PET_VIEW, {CefRect(0, 0, 1, 1), CefRect(2, 0, 1, 1)}, pixels, 4, 2);
  CefDoMessageLoopWork();
  client_->browser->GetHost()->Invalidate(PET_VIEW);
  CefDoMessageLoopWork();
  EXPECT_EQ(log_, (std::vector<std::string>{"OnPaint 2 4x2 7", "OnPaint 1 4x2 7"}));
}

TEST_F(ScriptedEngineTest, DialogOutcomeShowsTheHandlersAnswer) {
  int id = CreateBrowser();
  auto outcome = engine_->JSDialog(id, "https://a/", JSDIALOGTYPE_ALERT, u"x", u"");
  EXPECT_FALSE(outcome->delivered);
  CefDoMessageLoopWork();
  EXPECT_TRUE(outcome->delivered);
  EXPECT_TRUE(outcome->suppressed);
  EXPECT_FALSE(outcome->handler_returned);
  EXPECT_FALSE(outcome->continued);
}

TEST_F(ScriptedEngineTest, CloseEndsWithOnBeforeCloseAndReleasesTheClient) {
  int id = CreateBrowser();
  log_.clear();
  CefRefPtr<CefBrowser> b = client_->browser;
  b->GetHost()->CloseBrowser(true);
  engine_->TitleChange(id, u"late");
  client_ = nullptr;  // the engine still holds the client
  EXPECT_FALSE(client_destroyed_);
  CefDoMessageLoopWork();
  EXPECT_EQ(log_, (std::vector<std::string>{"OnBeforeClose"}));
  EXPECT_TRUE(client_destroyed_);
  EXPECT_TRUE(engine_->browser_ids().empty());
  EXPECT_FALSE(b->GetMainFrame());
}

TEST_F(ScriptedEngineTest, EngineLossClosesBrowsersAndRefusesNewOnes) {
  CreateBrowser();
  log_.clear();
  engine_->EngineLost();
  CefDoMessageLoopWork();
  EXPECT_EQ(log_, (std::vector<std::string>{"OnBeforeClose"}));
  CefWindowInfo info;
  info.SetAsWindowless(0, true);
  EXPECT_FALSE(CefBrowserHost::CreateBrowser(info, client_.get(), "", CefBrowserSettings(),
                                             nullptr));
}

TEST_F(ScriptedEngineTest, ShutdownClosesOpenBrowsers) {
  CreateBrowser();
  log_.clear();
  client_ = nullptr;
  CefShutdown();
  EXPECT_EQ(log_, (std::vector<std::string>{"OnBeforeClose"}));
  EXPECT_TRUE(client_destroyed_);
  // TearDown's CefShutdown is then a no-op; start again for it.
  CefSettings settings;
  ASSERT_TRUE(CefInitialize(CefMainArgs(), settings, app_.get(), nullptr));
}

TEST_F(ScriptedEngineTest, ChildProcessHooks) {
  CefRefPtr<CefCommandLine> renderer = engine_->LaunchChildProcess("renderer");
  CefCommandLine::ArgumentList args;
  renderer->GetArguments(args);
  ASSERT_EQ(args.size(), 1u);
  EXPECT_EQ(args[0].ToString(), "--channel=x");
  CefRefPtr<CefCommandLine> gpu = engine_->LaunchChildProcess("gpu-process");
  EXPECT_FALSE(gpu->HasArguments());

  CefRefPtr<CefListValue> extra = engine_->RunRenderProcessThreadCreated();
  EXPECT_TRUE(app_->on_io);
  ASSERT_EQ(extra->GetSize(), 2u);
  EXPECT_EQ(extra->GetString(0).ToString(), "fn");
  EXPECT_TRUE(extra->GetBool(1));
}

TEST(ScriptedEngineProcessTest, ExecuteProcessReturnsMinusOneInTheBrowser) {
  char prog[] = "prog";
  char type[] = "--type=renderer";
  char* browser_argv[] = {prog};
  char* child_argv[] = {prog, type};
  EXPECT_EQ(CefExecuteProcess(CefMainArgs(1, browser_argv), nullptr, nullptr), -1);
  ScriptedEngine::SetChildProcessExitCode(3);
  EXPECT_EQ(CefExecuteProcess(CefMainArgs(2, child_argv), nullptr, nullptr), 3);
  ScriptedEngine::SetChildProcessExitCode(0);
}

TEST(ScriptedEngineProcessTest, InitializeRejectsBadSettings) {
  CefSettings settings;
  settings.size = 100;
  EXPECT_FALSE(CefInitialize(CefMainArgs(), settings, nullptr, nullptr));
  CefSettings threaded;
  threaded.multi_threaded_message_loop = 1;
  EXPECT_FALSE(CefInitialize(CefMainArgs(), threaded, nullptr, nullptr));
  EXPECT_EQ(ScriptedEngine::Get(), nullptr);
}

}  // namespace
