// The render side of the render-process tests: a render-process handler
// that writes what it was given, one line per fact, to the Unix socket named
// by the child's "--test-report-socket" switch, and a listener for the
// browser-process side of the test to read those lines.
//
// Lines: "pid <pid>", "argument <each plain argument>",
// "read-only <0|1>", "extra <index> <type> <value>" for each entry of the
// extra information, "webkit-initialized".
#ifndef TESTS_E2E_RENDER_CHILD_REPORTER_H_
#define TESTS_E2E_RENDER_CHILD_REPORTER_H_

#include <chrono>
#include <string>
#include <vector>

#include "cef/include/cef_app.h"

namespace vemo_e2e {

inline constexpr char kReportSocketSwitch[] = "test-report-socket";

class RenderChildReporterApp : public CefApp, public CefRenderProcessHandler {
 public:
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return this; }
  void OnRenderThreadCreated(CefRefPtr<CefListValue> extra_info) override;
  void OnWebKitInitialized() override;

 private:
  // Connects on first use; silently nothing when the switch is absent.
  void Report(const std::string& line);
  int fd_ = -1;
  bool tried_ = false;
  IMPLEMENT_REFCOUNTING(RenderChildReporterApp);
};

// Listens on a fresh socket path; each connection is one child's report.
class ReportListener {
 public:
  ReportListener();
  ~ReportListener();
  const std::string& path() const { return path_; }
  // Accepts the next child's connection and reads its lines until it
  // closes, or until the deadline (then the lines read so far; *complete
  // false).
  std::vector<std::string> NextReport(std::chrono::milliseconds deadline, bool* complete);

 private:
  std::string dir_;
  std::string path_;
  int fd_ = -1;
};

}  // namespace vemo_e2e

#endif  // TESTS_E2E_RENDER_CHILD_REPORTER_H_
