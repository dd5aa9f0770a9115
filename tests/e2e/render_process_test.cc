// Render children with the real engine: the layer starts this executable
// again as "--type=renderer" for each browser, and the application's
// browser-process and render-process handlers see what they are promised.
#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cef/include/cef_app.h"
#include "cef/include/cef_task.h"
#include "tests/e2e/engine_test_client.h"
#include "tests/e2e/render_child_reporter.h"

namespace vemo_e2e {
namespace {

// The browser-process side of an application with render-side work.
class RenderingApp : public CefApp,
                     public CefBrowserProcessHandler,
                     public CefRenderProcessHandler {
 public:
  explicit RenderingApp(std::string report_path) : report_path_(std::move(report_path)) {}

  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
  // Having one is what makes the layer start render children.
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return this; }

  void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) override {
    std::lock_guard<std::mutex> hold(lock_);
    Launch launch;
    launch.type = command_line->GetSwitchValue("type").ToString();
    launch.program = command_line->GetProgram().ToString();
    launch.on_ui_thread = CefCurrentlyOn(TID_UI);
    launches_.push_back(launch);
    command_line->AppendSwitchWithValue(kReportSocketSwitch, report_path_);
    command_line->AppendArgument("--vemo_ipc_channel_name=channel-" +
                                 std::to_string(launches_.size()));
  }

  void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      thread_created_off_ui_.push_back(!CefCurrentlyOn(TID_UI) &&
                                       std::this_thread::get_id() != main_thread_);
    }
    size_t i = extra_info->GetSize();
    extra_info->SetString(i, "hostFunction");
    extra_info->SetBool(i + 1, true);
    extra_info->SetString(i + 2, "notify");
    extra_info->SetBool(i + 3, false);
  }

  struct Launch {
    std::string type;
    std::string program;
    bool on_ui_thread = false;
  };
  std::vector<Launch> launches() {
    std::lock_guard<std::mutex> hold(lock_);
    return launches_;
  }
  std::vector<bool> thread_created_off_ui() {
    std::lock_guard<std::mutex> hold(lock_);
    return thread_created_off_ui_;
  }

 private:
  const std::string report_path_;
  const std::thread::id main_thread_ = std::this_thread::get_id();
  std::mutex lock_;
  std::vector<Launch> launches_;
  std::vector<bool> thread_created_off_ui_;
  IMPLEMENT_REFCOUNTING(RenderingApp);
};

bool ProcessGone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

pid_t PidOf(const std::vector<std::string>& report) {
  for (const std::string& line : report) {
    if (line.rfind("pid ", 0) == 0) return static_cast<pid_t>(std::stol(line.substr(4)));
  }
  return -1;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class RenderProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    children_before_ = ChildCount();
    app_ = new RenderingApp(listener_.path());
    ASSERT_TRUE(InitializeEngine(app_.get()));
    client_ = new TestClient(320, 200);
    ASSERT_TRUE(client_->Create());
    ASSERT_TRUE(PumpUntil([&] { return client_->browser != nullptr; }));
  }
  void TearDown() override {
    CefShutdown();
    EXPECT_EQ(client_->order_failures, 0);
    // The engine and every render child have been reaped.
    EXPECT_EQ(ChildCount(), children_before_);
    client_ = nullptr;
    app_ = nullptr;
  }

  void Navigate(const std::string& page) {
    const std::string url = PageUrl(page);
    client_->browser->GetMainFrame()->LoadURL(url);
    ASSERT_TRUE(PumpUntil([&] {
      return !client_->addresses.empty() && client_->addresses.back().url == url;
    }));
  }
  // The next child's report, read once it has been launched.
  std::vector<std::string> NextReport(size_t launches) {
    EXPECT_TRUE(PumpUntil([&] { return app_->launches().size() >= launches; }));
    bool complete = false;
    std::vector<std::string> report = listener_.NextReport(kDeadline, &complete);
    EXPECT_TRUE(complete) << "the render child did not finish its report";
    return report;
  }

  ReportListener listener_;
  int children_before_ = 0;
  CefRefPtr<RenderingApp> app_;
  CefRefPtr<TestClient> client_;
};

TEST_F(RenderProcessTest, ChildStartsAtTheFirstNavigationWithWhatTheApplicationAdded) {
  // The browser exists, but nothing was loaded yet: no child.
  EXPECT_TRUE(app_->launches().empty());

  client_->browser->GetMainFrame()->LoadURL(PageUrl("basic.html"));
  std::vector<std::string> report = NextReport(1);
  ASSERT_EQ(app_->launches().size(), 1u);
  const RenderingApp::Launch launch = app_->launches()[0];
  EXPECT_EQ(launch.type, "renderer");
  EXPECT_TRUE(launch.on_ui_thread);
  EXPECT_EQ(std::filesystem::canonical(launch.program),
            std::filesystem::canonical("/proc/self/exe"));
  ASSERT_EQ(app_->thread_created_off_ui(), std::vector<bool>{true});

  // The child saw the command line as the application left it and the
  // extra information as the application filled it, read-only.
  EXPECT_NE(PidOf(report), getpid());
  EXPECT_TRUE(Contains(report, "switch type=renderer"));
  EXPECT_TRUE(Contains(report, "switch vemo_ipc_channel_name=channel-1"));
  EXPECT_TRUE(Contains(report, "read-only 1"));
  const std::vector<std::string> extra = {
      "extra 0 string hostFunction", "extra 1 bool true", "extra 2 string notify",
      "extra 3 bool false"};
  std::vector<std::string> seen;
  for (const std::string& line : report) {
    if (line.rfind("extra ", 0) == 0) seen.push_back(line);
  }
  EXPECT_EQ(seen, extra);
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.back(), "webkit-initialized");

  // The page loads, and later navigations keep the same child.
  const std::string url = PageUrl("basic.html");
  ASSERT_TRUE(PumpUntil([&] {
    return !client_->addresses.empty() && client_->addresses.back().url == url;
  }));
  Navigate("static.html");
  EXPECT_EQ(app_->launches().size(), 1u);
  EXPECT_FALSE(ProcessGone(PidOf(report)));
}

TEST_F(RenderProcessTest, ClosingTheBrowserEndsItsChild) {
  client_->browser->GetMainFrame()->LoadURL(PageUrl("basic.html"));
  const pid_t child = PidOf(NextReport(1));
  ASSERT_GT(child, 0);
  client_->browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(PumpUntil([&] { return client_->closed; }));
  // Reaped while the engine runs on, not only at shutdown.
  EXPECT_TRUE(PumpUntil([&] { return ProcessGone(child) && ChildCount() == children_before_ + 1; }));
}

TEST_F(RenderProcessTest, ALostChildIsReplacedAtTheNextNavigation) {
  client_->browser->GetMainFrame()->LoadURL(PageUrl("basic.html"));
  const pid_t first = PidOf(NextReport(1));
  ASSERT_GT(first, 0);
  const int with_child = ChildCount();
  ASSERT_EQ(kill(first, SIGKILL), 0);
  // The layer has noticed and reaped the child's process.
  ASSERT_TRUE(PumpUntil([&] { return ChildCount() == with_child - 1; }));

  client_->browser->GetMainFrame()->LoadURL(PageUrl("static.html"));
  const std::vector<std::string> report = NextReport(2);
  EXPECT_TRUE(Contains(report, "switch vemo_ipc_channel_name=channel-2"));
  const pid_t second = PidOf(report);
  EXPECT_GT(second, 0);
  EXPECT_NE(second, first);
  const std::string url = PageUrl("static.html");
  EXPECT_TRUE(PumpUntil([&] {
    return !client_->addresses.empty() && client_->addresses.back().url == url;
  }));
}

}  // namespace
}  // namespace vemo_e2e
