// The embedding layer with the real headless engine.
#include <errno.h>
#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "cef/engine/engine.h"
#include "cef/include/cef_app.h"
#include "cef/include/cef_cookie.h"
#include "tests/e2e/engine_test_client.h"

namespace vemo_e2e {
namespace {

class EngineApp : public CefApp, public CefBrowserProcessHandler {
 public:
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
  void OnContextInitialized() override {
    context_initialized = true;
    CefRefPtr<CefCookieManager> cookies = CefCookieManager::GetGlobalManager();
    if (cookies) cookies->SetSupportedSchemes({"http", "https"});
  }
  bool context_initialized = false;
  IMPLEMENT_REFCOUNTING(EngineApp);
};

// One engine for the whole suite; each test makes its own browser.
class EngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    app_ = new EngineApp();
    ASSERT_TRUE(InitializeEngine(app_.get()));
  }
  static void TearDownTestSuite() {
    pid_t pid = cef_engine::Engine::Get() ? cef_engine::Engine::Get()->engine_pid() : -1;
    CefShutdown();
    EXPECT_TRUE(GroupGone(pid));
    app_ = nullptr;
  }
  void TearDown() override { CloseAndForget(client_); }

  // A browser showing page, loaded.
  void Open(const std::string& page, int width = 800, int height = 600) {
    client_ = new TestClient(width, height);
    ASSERT_TRUE(client_->Create());
    ASSERT_TRUE(PumpUntil([&] { return client_->browser != nullptr; }));
    const std::string url = PageUrl(page);
    client_->browser->GetMainFrame()->LoadURL(url);
    ASSERT_TRUE(PumpUntil([&] {
      return !client_->addresses.empty() && client_->addresses.back().url == url;
    }));
    int loads = client_->loads_finished;
    ASSERT_TRUE(PumpUntil([&] { return client_->loads_finished > loads || !client_->loading; }));
    ASSERT_TRUE(PumpUntil([&] { return client_->paints > 0; }));
  }
  void Run(const std::string& script) {
    client_->browser->GetMainFrame()->ExecuteJavaScript(script, "", 0);
  }
  // Waits until the page has produced two more animation frames, and so
  // any paint due before this call has been made.
  void Settle() {
    static int round = 0;
    std::string tag = "settled " + std::to_string(++round);
    Run("requestAnimationFrame(() => requestAnimationFrame(() => requestAnimationFrame(() => "
        "console.log('" + tag + "'))));");
    ASSERT_TRUE(PumpUntil([&] { return client_->HasConsole(tag); }));
  }

  static CefRefPtr<EngineApp> app_;
  CefRefPtr<TestClient> client_;
};

CefRefPtr<EngineApp> EngineTest::app_;

TEST_F(EngineTest, ContextInitializedAndCookieSchemes) {
  ASSERT_TRUE(PumpUntil([&] { return app_->context_initialized; }));
}

TEST_F(EngineTest, BundledPageLoadsWithAddressAndTitle) {
  ASSERT_NO_FATAL_FAILURE(Open("basic.html"));
  ASSERT_FALSE(client_->addresses.empty());
  EXPECT_EQ(client_->addresses.back().url, PageUrl("basic.html"));
  EXPECT_TRUE(client_->addresses.back().is_main);
  ASSERT_TRUE(PumpUntil([&] { return client_->HasTitle("Basic"); }));
  EXPECT_EQ(client_->browser->GetMainFrame()->GetURL().ToString(), PageUrl("basic.html"));
  EXPECT_EQ(client_->order.front(), "OnAfterCreated");
}

TEST_F(EngineTest, PaintsExactColoursWithPremultipliedAlpha) {
  ASSERT_NO_FATAL_FAILURE(Open("basic.html"));
  ASSERT_TRUE(PumpUntil([&] { return client_->paints > 0 && client_->PixelAt(350, 250) == 0x563412FFu; }));
  EXPECT_EQ(client_->frame_width, 800);
  EXPECT_EQ(client_->frame_height, 600);
  struct Probe {
    int x, y;
    uint32_t bgra;
  } probes[] = {
      {10, 10, 0x0000FFFFu},    // red
      {150, 50, 0x80000080u},   // half-transparent blue, premultiplied
      {250, 99, 0x00FF00FFu},   // green
      {350, 250, 0x563412FFu},  // #123456
      {500, 500, 0x00000000u},  // transparent background
  };
  for (const Probe& p : probes) {
    EXPECT_EQ(client_->PixelAt(p.x, p.y), p.bgra) << p.x << "," << p.y;
  }
}

TEST_F(EngineTest, AnimationStreamsPaintsWhoseRectanglesCoverTheChanges) {
  ASSERT_NO_FATAL_FAILURE(Open("animation.html", 640, 360));
  int start = client_->paints;
  ASSERT_TRUE(PumpUntil([&] { return client_->paints >= start + 30; }));
  EXPECT_EQ(client_->rect_failures, 0);
  // Never more than the changed area: every rectangle is tight.
  EXPECT_LE(client_->rect_area, client_->changed_area);
}

TEST_F(EngineTest, MovingBoxGivesSmallDirtyRectangles) {
  ASSERT_NO_FATAL_FAILURE(Open("basic.html"));
  ASSERT_NO_FATAL_FAILURE(Settle());
  int start = client_->paints;
  Run("const d = document.createElement('div');"
      "d.style.cssText = 'position:absolute;left:600px;top:400px;width:20px;height:10px;background:#fff';"
      "document.body.appendChild(d);");
  ASSERT_TRUE(PumpUntil([&] { return client_->paints > start && client_->PixelAt(605, 405) == 0xFFFFFFFFu; }));
  ASSERT_EQ(client_->last_rects.size(), 1u);
  EXPECT_EQ(client_->last_rects[0], CefRect(600, 400, 20, 10));
  EXPECT_EQ(client_->rect_failures, 0);
}

TEST_F(EngineTest, StaticPagePaintsNothingMore) {
  ASSERT_NO_FATAL_FAILURE(Open("static.html"));
  // The page's last state has been painted (the box is there).
  ASSERT_TRUE(PumpUntil([&] { return client_->PixelAt(225, 225) == 0x008000FFu; }));
  ASSERT_NO_FATAL_FAILURE(Settle());
  int before = client_->paints;
  ASSERT_NO_FATAL_FAILURE(Settle());
  ASSERT_NO_FATAL_FAILURE(Settle());
  EXPECT_EQ(client_->paints, before);
}

TEST_F(EngineTest, InvalidateRepaintsTheWholeView) {
  ASSERT_NO_FATAL_FAILURE(Open("basic.html"));
  ASSERT_TRUE(PumpUntil([&] { return client_->paints > 0; }));
  ASSERT_NO_FATAL_FAILURE(Settle());
  int before = client_->paints;
  client_->browser->GetHost()->Invalidate(PET_VIEW);
  ASSERT_TRUE(PumpUntil([&] { return client_->paints > before; }));
  ASSERT_EQ(client_->last_rects.size(), 1u);
  EXPECT_EQ(client_->last_rects[0], CefRect(0, 0, 800, 600));
}

TEST_F(EngineTest, ClickAndTypingEditTheField) {
  ASSERT_NO_FATAL_FAILURE(Open("input.html"));
  CefRefPtr<CefBrowserHost> host = client_->browser->GetHost();
  host->SendFocusEvent(true);
  CefMouseEvent at;
  at.x = 100;
  at.y = 35;
  host->SendMouseMoveEvent(at, false);
  host->SendMouseClickEvent(at, MBT_LEFT, false, 1);
  host->SendMouseClickEvent(at, MBT_LEFT, true, 1);
  auto key = [&](int vk, char16_t ch, uint32_t mods = 0) {
    CefKeyEvent e;
    e.type = KEYEVENT_RAWKEYDOWN;
    e.windows_key_code = vk;
    e.modifiers = mods;
    host->SendKeyEvent(e);
    if (ch) {
      CefKeyEvent c;
      c.type = KEYEVENT_CHAR;
      c.windows_key_code = ch;
      c.modifiers = mods;
      host->SendKeyEvent(c);
    }
    CefKeyEvent up;
    up.type = KEYEVENT_KEYUP;
    up.windows_key_code = vk;
    up.modifiers = mods;
    host->SendKeyEvent(up);
  };
  key('A', u'a');
  key('B', u'b');
  key(0x08, 0x08);  // Backspace
  key('1', u'!', EVENTFLAG_SHIFT_DOWN);
  ASSERT_TRUE(PumpUntil([&] { return client_->HasTitle("value:a!"); }));
  EXPECT_TRUE(client_->HasConsole("keydown a KeyA 65 0"));
  EXPECT_TRUE(client_->HasConsole("keydown Backspace Backspace 8 0"));
  EXPECT_TRUE(client_->HasConsole("keydown ! Digit1 49 0"));
  // Select all and type over it.
  key('A', 0, EVENTFLAG_CONTROL_DOWN);
  key('Z', u'z');
  ASSERT_TRUE(PumpUntil([&] { return client_->HasTitle("value:z"); }));
}

TEST_F(EngineTest, DoubleClickAndWheel) {
  ASSERT_NO_FATAL_FAILURE(Open("input.html"));
  CefRefPtr<CefBrowserHost> host = client_->browser->GetHost();
  CefMouseEvent at;
  at.x = 450;
  at.y = 70;
  host->SendMouseMoveEvent(at, false);
  for (int count : {1, 2}) {
    host->SendMouseClickEvent(at, MBT_LEFT, false, count);
    host->SendMouseClickEvent(at, MBT_LEFT, true, count);
  }
  ASSERT_TRUE(PumpUntil([&] { return client_->HasConsole("dblclick"); }));
  EXPECT_TRUE(client_->HasConsole("click 1 450,70"));
  EXPECT_TRUE(client_->HasConsole("click 2 450,70"));
  host->SendMouseWheelEvent(at, 0, -120);  // one notch towards the user: down
  ASSERT_TRUE(PumpUntil([&] { return client_->HasConsolePrefix("scrolled "); }));
}

TEST_F(EngineTest, CursorFollowsThePage) {
  ASSERT_NO_FATAL_FAILURE(Open("input.html"));
  CefRefPtr<CefBrowserHost> host = client_->browser->GetHost();
  CefMouseEvent at;
  at.x = 40;
  at.y = 215;  // the link
  host->SendMouseMoveEvent(at, false);
  ASSERT_TRUE(PumpUntil([&] { return !client_->cursors.empty() && client_->cursors.back().first == CT_HAND; }));
  EXPECT_EQ(client_->cursors.back().second, 0x10000u + CT_HAND);
  at.x = 100;
  at.y = 35;  // the text field
  host->SendMouseMoveEvent(at, false);
  ASSERT_TRUE(PumpUntil([&] { return client_->cursors.back().first == CT_IBEAM; }));
  at.x = 700;
  at.y = 500;  // nothing
  host->SendMouseMoveEvent(at, false);
  ASSERT_TRUE(PumpUntil([&] { return client_->cursors.back().first == CT_POINTER; }));
}

TEST_F(EngineTest, SelectListWorksInsideThePage) {
  ASSERT_NO_FATAL_FAILURE(Open("input.html"));
  CefRefPtr<CefBrowserHost> host = client_->browser->GetHost();
  auto click = [&](int x, int y) {
    CefMouseEvent at;
    at.x = x;
    at.y = y;
    host->SendMouseMoveEvent(at, false);
    host->SendMouseClickEvent(at, MBT_LEFT, false, 1);
    host->SendMouseClickEvent(at, MBT_LEFT, true, 1);
  };
  click(100, 310);
  ASSERT_NO_FATAL_FAILURE(Settle());
  // The list opens below the select, inside the view: find "three".
  Run("(() => { const o = [...document.querySelectorAll('option')][2];"
      "const r = o.getBoundingClientRect();"
      "console.log('option at ' + Math.round(r.left + r.width / 2) + ' ' + Math.round(r.top + r.height / 2)); })()");
  ASSERT_TRUE(PumpUntil([&] { return client_->HasConsolePrefix("option at "); }));
  int x = 0, y = 0;
  ASSERT_EQ(std::sscanf(client_->ConsoleWithPrefix("option at ").c_str(), "option at %d %d", &x, &y), 2);
  click(x, y);
  ASSERT_TRUE(PumpUntil([&] { return client_->HasTitle("chose:three"); }));
}

TEST_F(EngineTest, ScriptTitleAndTitleOnlyChanges) {
  ASSERT_NO_FATAL_FAILURE(Open("static.html"));
  Run("document.title = 'first'");
  ASSERT_TRUE(PumpUntil([&] { return client_->HasTitle("first"); }));
  Run("document.querySelector('title').textContent = 'second'");
  ASSERT_TRUE(PumpUntil([&] { return client_->HasTitle("second"); }));
}

TEST_F(EngineTest, ConsoleMessagesCarrySourceAndLine) {
  ASSERT_NO_FATAL_FAILURE(Open("static.html"));
  Run("console.log('n=%d', 42, 'tail')");
  ASSERT_TRUE(PumpUntil([&] { return client_->HasConsole("n=42 tail"); }));
  client_->browser->GetMainFrame()->ExecuteJavaScript("\n\nconsole.warn('third line');",
                                                      "https://scripts.example/a.js", 10);
  ASSERT_TRUE(PumpUntil([&] { return client_->HasConsole("third line"); }));
  for (const ConsoleEntry& c : client_->console) {
    if (c.message != "third line") continue;
    EXPECT_EQ(c.source, "https://scripts.example/a.js");
    EXPECT_EQ(c.line, 12);
  }
  Run("undefinedFunction()");
  ASSERT_TRUE(PumpUntil([&] {
    return client_->HasConsolePrefix("Uncaught ReferenceError: undefinedFunction is not defined");
  }));
}

TEST_F(EngineTest, AlertReturnsAtOnceAndIsReported) {
  ASSERT_NO_FATAL_FAILURE(Open("static.html"));
  Run("alert('x'); console.log('after alert ' + confirm('sure?') + ' ' + prompt('name', 'def'))");
  ASSERT_TRUE(PumpUntil([&] { return client_->HasConsole("after alert false null"); }));
  ASSERT_EQ(client_->dialogs.size(), 3u);
  EXPECT_EQ(client_->dialogs[0].message, "x");
  EXPECT_EQ(client_->dialogs[0].type, JSDIALOGTYPE_ALERT);
  EXPECT_EQ(client_->dialogs[0].origin, "file:///");
  EXPECT_EQ(client_->dialogs[1].type, JSDIALOGTYPE_CONFIRM);
  EXPECT_EQ(client_->dialogs[2].type, JSDIALOGTYPE_PROMPT);
  EXPECT_EQ(client_->dialogs[2].prompt, "def");
}

TEST_F(EngineTest, WindowOpenOpensNothing) {
  ASSERT_NO_FATAL_FAILURE(Open("static.html"));
  Run("console.log('opened ' + (window.open('child.html', 'w', 'width=200,height=100') === null))");
  ASSERT_TRUE(PumpUntil([&] { return client_->HasConsole("opened true"); }));
  ASSERT_TRUE(PumpUntil([&] { return !client_->popups.empty(); }));
  EXPECT_EQ(client_->popups[0], PageUrl("child.html"));
}

TEST_F(EngineTest, UnreachableAddressReportsAnError) {
  ASSERT_NO_FATAL_FAILURE(Open("static.html"));
  client_->browser->GetMainFrame()->LoadURL("http://127.0.0.1:2/nothing");
  ASSERT_TRUE(PumpUntil([&] { return !client_->load_errors.empty(); }));
  ASSERT_EQ(client_->load_errors.size(), 1u);
  EXPECT_EQ(client_->load_errors[0].code, ERR_CONNECTION_REFUSED);
  EXPECT_EQ(client_->load_errors[0].text, "ERR_CONNECTION_REFUSED");
  EXPECT_EQ(client_->load_errors[0].url, "http://127.0.0.1:2/nothing");
  EXPECT_TRUE(client_->load_errors[0].is_main);
}

TEST_F(EngineTest, IframesReportTheirFrame) {
  ASSERT_NO_FATAL_FAILURE(Open("frames.html"));
  ASSERT_TRUE(PumpUntil([&] { return !client_->load_errors.empty(); }));
  EXPECT_FALSE(client_->load_errors[0].is_main);
  EXPECT_EQ(client_->load_errors[0].code, ERR_CONNECTION_REFUSED);
  bool child_address = false;
  for (const AddressEntry& a : client_->addresses) {
    if (a.url == PageUrl("child.html")) child_address = !a.is_main;
  }
  EXPECT_TRUE(child_address);
  EXPECT_EQ(client_->browser->GetFrameCount(), 3u);
  Run("document.getElementById('child').contentWindow.moveOn()");
  ASSERT_TRUE(PumpUntil([&] { return client_->addresses.back().url == PageUrl("child.html#moved"); }));
  EXPECT_FALSE(client_->addresses.back().is_main);
}

TEST_F(EngineTest, ZoomLaysOutSmallerAndPaintsFullSize) {
  ASSERT_NO_FATAL_FAILURE(Open("zoom.html", 1280, 720));
  client_->browser->GetHost()->SetZoomLevel(std::log(1.44) / std::log(1.2));
  ASSERT_TRUE(PumpUntil([&] { return client_->HasConsolePrefix("layout 889x500 dpr 1.44"); }));
  // The first frame at the new scale: the 100 CSS pixel box is 144 wide.
  ASSERT_TRUE(PumpUntil([&] {
    return client_->PixelAt(143, 143) == 0xFF0000FFu && client_->PixelAt(1275, 715) == 0x0000FFFFu;
  }));
  EXPECT_EQ(client_->frame_width, 1280);
  EXPECT_EQ(client_->frame_height, 720);
  EXPECT_EQ(client_->PixelAt(145, 10), 0xFFFFFFFFu);
  EXPECT_EQ(client_->PixelAt(10, 145), 0xFFFFFFFFu);
  // The mouse is in view pixels; the page sees CSS pixels.
  CefMouseEvent at;
  at.x = 144;
  at.y = 72;
  client_->browser->GetHost()->SendMouseClickEvent(at, MBT_LEFT, false, 1);
  client_->browser->GetHost()->SendMouseClickEvent(at, MBT_LEFT, true, 1);
  ASSERT_TRUE(PumpUntil([&] { return client_->HasConsolePrefix("down "); }));
  EXPECT_EQ(client_->ConsoleWithPrefix("down "), "down 100,50");
  EXPECT_NEAR(client_->browser->GetHost()->GetZoomLevel(), 2.0, 1e-9);
}

TEST_F(EngineTest, ResizeRereadsTheView) {
  ASSERT_NO_FATAL_FAILURE(Open("zoom.html", 640, 480));
  ASSERT_TRUE(PumpUntil([&] { return client_->frame_width == 640; }));
  client_->SetViewSize(500, 300);
  client_->browser->GetHost()->WasResized();
  ASSERT_TRUE(PumpUntil([&] { return client_->HasConsolePrefix("layout 500x300"); }));
  ASSERT_TRUE(PumpUntil([&] { return client_->frame_width == 500 && client_->frame_height == 300; }));
}

// Engines of their own: start, loss and stop.

TEST(EngineLifecycleTest, MissingEngineFailsCleanly) {
  setenv("VEMO_CHROMIUM", "/nonexistent/chromium", 1);
  EXPECT_FALSE(InitializeEngine(nullptr));
  unsetenv("VEMO_CHROMIUM");
  CefRefPtr<TestClient> client = new TestClient(100, 100);
  EXPECT_FALSE(client->Create());
  CefDoMessageLoopWork();
  CefShutdown();
}

TEST(EngineLifecycleTest, CloseAndShutdownLeaveNoProcess) {
  ASSERT_TRUE(InitializeEngine(nullptr));
  pid_t pid = cef_engine::Engine::Get()->engine_pid();
  CefRefPtr<TestClient> a = new TestClient(320, 200);
  CefRefPtr<TestClient> b = new TestClient(320, 200);
  ASSERT_TRUE(a->Create(PageUrl("animation.html")));
  ASSERT_TRUE(b->Create(PageUrl("static.html")));
  ASSERT_TRUE(PumpUntil([&] { return a->paints > 0 && b->paints > 0; }));
  a->browser->GetHost()->CloseBrowser(false);
  ASSERT_TRUE(PumpUntil([&] { return a->closed; }));
  EXPECT_EQ(a->order.back(), "OnBeforeClose");
  // b is still open: shutdown closes it.
  CefShutdown();
  EXPECT_TRUE(b->closed);
  EXPECT_EQ(b->order.back(), "OnBeforeClose");
  EXPECT_EQ(a->order_failures, 0);
  EXPECT_EQ(b->order_failures, 0);
  EXPECT_TRUE(GroupGone(pid));
  EXPECT_EQ(ChildCount(), 0);
}

TEST(EngineLifecycleTest, EngineLossClosesBrowsersAndNeverHangs) {
  ASSERT_TRUE(InitializeEngine(nullptr));
  pid_t pid = cef_engine::Engine::Get()->engine_pid();
  CefRefPtr<TestClient> client = new TestClient(320, 200);
  ASSERT_TRUE(client->Create(PageUrl("static.html")));
  ASSERT_TRUE(PumpUntil([&] { return client->paints > 0; }));
  kill(-pid, SIGKILL);
  ASSERT_TRUE(PumpUntil([&] { return client->closed; }));
  EXPECT_EQ(client->order_failures, 0);
  CefRefPtr<TestClient> late = new TestClient(100, 100);
  EXPECT_FALSE(late->Create());
  CefShutdown();
  EXPECT_TRUE(GroupGone(pid));
  EXPECT_EQ(ChildCount(), 0);
}

}  // namespace
}  // namespace vemo_e2e
