// Out-of-process iframes: the engine started with site isolation (an
// application switch), a page from 127.0.0.1 embedding one from localhost.
#include <gtest/gtest.h>

#include <string>

#include "cef/engine/engine.h"
#include "cef/include/cef_app.h"
#include "tests/e2e/engine_test_client.h"
#include "tests/e2e/local_http_server.h"

namespace vemo_e2e {
namespace {

class SiteIsolationApp : public CefApp {
 public:
  void OnBeforeCommandLineProcessing(const CefString& process_type,
                                     CefRefPtr<CefCommandLine> command_line) override {
    if (process_type.empty()) command_line->AppendSwitch("site-per-process");
  }
  IMPLEMENT_REFCOUNTING(SiteIsolationApp);
};

class OutOfProcessIframeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new LocalHttpServer(VEMO_E2E_PAGES);
    ASSERT_TRUE(server_->Start());
    ASSERT_TRUE(InitializeEngine(new SiteIsolationApp()));
  }
  static void TearDownTestSuite() {
    pid_t pid = cef_engine::Engine::Get() ? cef_engine::Engine::Get()->engine_pid() : -1;
    CefShutdown();
    // The iframes' processes went with the engine's.
    EXPECT_TRUE(GroupGone(pid));
    EXPECT_EQ(ChildCount(), 0);
    delete server_;
    server_ = nullptr;
  }
  void TearDown() override { CloseAndForget(client_); }

  std::string MainUrl() const { return server_->Url("127.0.0.1", "oopif_main.html"); }
  std::string ChildUrl(const std::string& host = "localhost") const {
    return server_->Url(host, "oopif_child.html");
  }

  // A browser showing the main page, with the cross-site child loaded.
  void Open() {
    client_ = new TestClient(800, 600);
    ASSERT_TRUE(client_->Create());
    ASSERT_TRUE(PumpUntil([&] { return client_->browser != nullptr; }));
    client_->browser->GetMainFrame()->LoadURL(MainUrl());
    const std::string ready = "child ready on localhost:" + std::to_string(server_->port());
    ASSERT_TRUE(PumpUntil([&] { return client_->HasConsole(ready); }));
  }

  // The browser's one frame besides the main frame.
  CefRefPtr<CefFrame> ChildFrame() {
    std::vector<int64_t> ids;
    client_->browser->GetFrameIdentifiers(ids);
    for (int64_t id : ids) {
      CefRefPtr<CefFrame> frame = client_->browser->GetFrame(id);
      if (frame && !frame->IsMain()) return frame;
    }
    return nullptr;
  }

  // How many iframe targets the engine has: 1 while the child is rendered
  // in a process of its own.
  int IframeTargets() {
    int count = -1;
    cef_engine::Engine::Get()->Send(
        "Target.getTargets", cef_engine::Json::object(), "",
        [&count](const cef_engine::Json& result, const std::string& error) {
          if (!error.empty()) return;
          int iframes = 0;
          for (const auto& info : cef_engine::GetArray(result, "targetInfos")) {
            if (cef_engine::GetString(info, "type") == "iframe") ++iframes;
          }
          count = iframes;
        });
    EXPECT_TRUE(PumpUntil([&] { return count >= 0; }));
    return count;
  }

  // Waits for a console message logged after the first `since` ones.
  void WaitForConsole(size_t since, const std::string& expected) {
    ASSERT_TRUE(PumpUntil([&] {
      for (size_t i = since; i < client_->console.size(); ++i) {
        if (client_->console[i].message == expected) return true;
      }
      return false;
    })) << expected;
  }
  // Runs script in frame and waits for the console message it logs.
  void RunAndWait(CefRefPtr<CefFrame> frame, const std::string& script,
                  const std::string& expected) {
    size_t since = client_->console.size();
    frame->ExecuteJavaScript(script, "", 0);
    ASSERT_NO_FATAL_FAILURE(WaitForConsole(since, expected));
  }

  bool HasAddress(const std::string& url, bool is_main) const {
    for (const AddressEntry& a : client_->addresses) {
      if (a.url == url && a.is_main == is_main) return true;
    }
    return false;
  }

  static LocalHttpServer* server_;
  CefRefPtr<TestClient> client_;
};

LocalHttpServer* OutOfProcessIframeTest::server_ = nullptr;

TEST_F(OutOfProcessIframeTest, CrossSiteFrameReportsThroughItsOwnFrame) {
  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_EQ(IframeTargets(), 1);
  EXPECT_TRUE(HasAddress(MainUrl(), true));
  EXPECT_TRUE(HasAddress(ChildUrl(), false));
  // The console message of the child's own script, with its source.
  const std::string ready = "child ready on localhost:" + std::to_string(server_->port());
  for (const ConsoleEntry& c : client_->console) {
    if (c.message != ready) continue;
    EXPECT_EQ(c.source, ChildUrl());
    EXPECT_EQ(c.line, 6);
  }
  // One frame for the iframe, below the main frame, with its address and
  // name.
  ASSERT_EQ(client_->browser->GetFrameCount(), 2u);
  CefRefPtr<CefFrame> child = ChildFrame();
  ASSERT_TRUE(child);
  EXPECT_EQ(child->GetURL().ToString(), ChildUrl());
  EXPECT_EQ(child->GetName().ToString(), "crosssite");
  ASSERT_TRUE(child->GetParent());
  EXPECT_EQ(child->GetParent()->GetIdentifier(),
            client_->browser->GetMainFrame()->GetIdentifier());
  // Script runs in the frame's own process.
  ASSERT_NO_FATAL_FAILURE(RunAndWait(child, "console.log('script in ' + location.host)",
                                     "script in localhost:" + std::to_string(server_->port())));
  // Only the main document names the browser.
  ASSERT_TRUE(PumpUntil([&] { return client_->HasTitle("Cross-site main"); }));
  ASSERT_NO_FATAL_FAILURE(RunAndWait(child, "document.title = 'child retitled'; "
                                            "requestAnimationFrame(() => requestAnimationFrame("
                                            "() => console.log('child titled')))",
                                     "child titled"));
  ASSERT_NO_FATAL_FAILURE(RunAndWait(client_->browser->GetMainFrame(),
                                     "requestAnimationFrame(() => requestAnimationFrame("
                                     "() => console.log('main settled')))",
                                     "main settled"));
  EXPECT_EQ(client_->titles, std::vector<std::string>{"Cross-site main"});
  // A new main document drops the old one's frames.
  client_->browser->GetMainFrame()->LoadURL(ChildUrl("127.0.0.1"));
  ASSERT_TRUE(PumpUntil([&] { return HasAddress(ChildUrl("127.0.0.1"), true); }));
  ASSERT_TRUE(PumpUntil([&] { return !child->IsValid(); }));
  EXPECT_EQ(client_->browser->GetFrameCount(), 1u);
  EXPECT_EQ(IframeTargets(), 0);
}

TEST_F(OutOfProcessIframeTest, DialogsPaintAndCursorOfTheChild) {
  ASSERT_NO_FATAL_FAILURE(Open());
  CefRefPtr<CefFrame> child = ChildFrame();
  ASSERT_TRUE(child);
  // The alert is reported and returns at once.
  ASSERT_NO_FATAL_FAILURE(RunAndWait(child, "alert('from child'); console.log('child alerted')",
                                     "child alerted"));
  ASSERT_EQ(client_->dialogs.size(), 1u);
  EXPECT_EQ(client_->dialogs[0].message, "from child");
  EXPECT_EQ(client_->dialogs[0].type, JSDIALOGTYPE_ALERT);
  EXPECT_EQ(client_->dialogs[0].origin, server_->Url("localhost", ""));
  // The main page's paint has the child's pixels (#3366cc) where the
  // iframe is, and the transparent page around it.
  ASSERT_TRUE(PumpUntil([&] { return client_->paints > 0 && client_->PixelAt(150, 150) == 0xCC6633FFu; }));
  EXPECT_EQ(client_->PixelAt(50, 50), 0x00000000u);
  EXPECT_EQ(client_->PixelAt(299, 199), 0xCC6633FFu);
  EXPECT_EQ(client_->PixelAt(301, 201), 0x00000000u);
  // The cursor is the one of the document under the pointer, also when
  // the pointer comes back out of the iframe.
  CefRefPtr<CefBrowserHost> host = client_->browser->GetHost();
  auto move_to = [&](int x, int y) {
    CefMouseEvent at;
    at.x = x;
    at.y = y;
    host->SendMouseMoveEvent(at, false);
  };
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    move_to(500, 400);
    ASSERT_TRUE(PumpUntil([&] { return !client_->cursors.empty() && client_->cursors.back().first == CT_POINTER; }));
    move_to(150, 150);
    ASSERT_TRUE(PumpUntil([&] { return client_->cursors.back().first == CT_HAND; }));
    // The main document has had what the engine sent it since (the reset
    // of its last cursor) before the pointer comes back.
    ASSERT_NO_FATAL_FAILURE(RunAndWait(client_->browser->GetMainFrame(),
                                       "console.log('main idle " + std::to_string(round) + "')",
                                       "main idle " + std::to_string(round)));
  }
}

TEST_F(OutOfProcessIframeTest, LoadErrorsAndMovesBetweenProcessesKeepTheFrame) {
  ASSERT_NO_FATAL_FAILURE(Open());
  CefRefPtr<CefFrame> child = ChildFrame();
  ASSERT_TRUE(child);
  const int64_t id = child->GetIdentifier();
  // An unreachable address inside the out-of-process frame.
  child->LoadURL("http://localhost:2/nothing");
  ASSERT_TRUE(PumpUntil([&] { return !client_->load_errors.empty(); }));
  EXPECT_EQ(client_->load_errors[0].code, ERR_CONNECTION_REFUSED);
  EXPECT_EQ(client_->load_errors[0].url, "http://localhost:2/nothing");
  EXPECT_FALSE(client_->load_errors[0].is_main);
  ASSERT_TRUE(PumpUntil([&] { return HasAddress("http://localhost:2/nothing", false); }));
  // The main frame keeps working.
  ASSERT_NO_FATAL_FAILURE(RunAndWait(client_->browser->GetMainFrame(),
                                     "console.log('main alive ' + document.title)",
                                     "main alive Cross-site main"));
  EXPECT_EQ(client_->load_errors.size(), 1u);

  // Same-site with the main page: the frame moves into the main page's
  // process, and back out again; it stays the same frame.
  const std::string port = std::to_string(server_->port());
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    size_t since = client_->console.size();
    child->LoadURL(ChildUrl(host));
    ASSERT_NO_FATAL_FAILURE(WaitForConsole(since, "child ready on " + host + ":" + port));
    EXPECT_TRUE(HasAddress(ChildUrl(host), false));
    EXPECT_EQ(IframeTargets(), host == "localhost" ? 1 : 0);
    EXPECT_TRUE(child->IsValid());
    EXPECT_EQ(child->GetURL().ToString(), ChildUrl(host));
    EXPECT_EQ(client_->browser->GetFrameCount(), 2u);
    EXPECT_EQ(client_->browser->GetFrame(id), child);
    ASSERT_NO_FATAL_FAILURE(RunAndWait(child, "console.log('now in ' + location.host)",
                                       "now in " + host + ":" + port));
  }
  // Removed from the page, the frame is gone.
  client_->browser->GetMainFrame()->ExecuteJavaScript(
      "document.getElementById('child').remove()", "", 0);
  ASSERT_TRUE(PumpUntil([&] { return !child->IsValid(); }));
  EXPECT_EQ(client_->browser->GetFrameCount(), 1u);
  EXPECT_EQ(IframeTargets(), 0);
  ASSERT_NO_FATAL_FAILURE(RunAndWait(client_->browser->GetMainFrame(), "console.log('main after')",
                                     "main after"));
}

}  // namespace
}  // namespace vemo_e2e
