// A client for tests with the real engine: it records every callback and
// checks the order the API promises (OnAfterCreated first, OnBeforeClose
// last) and, for each paint, that the dirty rectangles cover every pixel
// that changed since the previous paint.
#ifndef TESTS_E2E_ENGINE_TEST_CLIENT_H_
#define TESTS_E2E_ENGINE_TEST_CLIENT_H_

#include <errno.h>
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cef/include/cef_app.h"
#include "cef/include/cef_client.h"

namespace vemo_e2e {

inline constexpr auto kDeadline = std::chrono::seconds(30);

// A bundled test page.
inline std::string PageUrl(const std::string& name) {
  return "file://" + std::string(VEMO_E2E_PAGES) + "/" + name;
}

// True once no process of that group is left.
inline bool GroupGone(pid_t pgid) { return pgid > 0 && kill(-pgid, 0) != 0 && errno == ESRCH; }

// Children of this process (every thread's, exited ones not yet reaped
// included), from /proc.
inline int ChildCount() {
  int count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(task.path() / "children");
    int pid;
    while (in >> pid) ++count;
  }
  return count;
}

// Starts the engine as the tests use it: windowless, its own logging off.
inline bool InitializeEngine(CefRefPtr<CefApp> app) {
  CefSettings settings;
  settings.no_sandbox = 1;
  settings.windowless_rendering_enabled = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  return CefInitialize(CefMainArgs(), settings, app, nullptr);
}

// Runs CefDoMessageLoopWork until done() holds or the deadline passes;
// returns done().
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds deadline = kDeadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    CefDoMessageLoopWork();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

struct ConsoleEntry {
  std::string message;
  std::string source;
  int line;
};

struct LoadErrorEntry {
  int code;
  std::string text;
  std::string url;
  bool is_main;
};

struct AddressEntry {
  std::string url;
  bool is_main;
};

struct DialogEntry {
  std::string origin;
  cef_jsdialog_type_t type;
  std::string message;
  std::string prompt;
};

class TestClient : public CefClient,
                   public CefDisplayHandler,
                   public CefJSDialogHandler,
                   public CefLifeSpanHandler,
                   public CefLoadHandler,
                   public CefRenderHandler,
                   public CefRequestHandler {
 public:
  TestClient(int width, int height) : width_(width), height_(height) {}

  // Starts a browser for this client (transparent, like the product's).
  bool Create(const std::string& url = std::string(), bool transparent = true) {
    CefWindowInfo info;
    info.SetAsWindowless(0, transparent);
    CefBrowserSettings settings;
    settings.file_access_from_file_urls = STATE_ENABLED;
    settings.windowless_frame_rate = frame_rate;
    return CefBrowserHost::CreateBrowser(info, this, url, settings, nullptr);
  }

  void SetViewSize(int width, int height) {
    width_ = width;
    height_ = height;
  }

  CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
  CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }

  // Life span.
  void OnAfterCreated(CefRefPtr<CefBrowser> b) override {
    Note("OnAfterCreated", /*first=*/true);
    browser = b;
  }
  void OnBeforeClose(CefRefPtr<CefBrowser>) override {
    Note("OnBeforeClose");
    closed = true;
    browser = nullptr;
  }
  bool OnBeforePopup(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, const CefString& url,
                     const CefString&, WindowOpenDisposition, bool, const CefPopupFeatures&,
                     CefWindowInfo&, CefRefPtr<CefClient>&, CefBrowserSettings&,
                     bool*) override {
    Note("OnBeforePopup");
    popups.push_back(url.ToString());
    return true;
  }

  // Display.
  void OnAddressChange(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame,
                       const CefString& url) override {
    Note("OnAddressChange");
    addresses.push_back({url.ToString(), frame->IsMain()});
  }
  void OnTitleChange(CefRefPtr<CefBrowser>, const CefString& title) override {
    Note("OnTitleChange");
    titles.push_back(title.ToString());
  }
  bool OnConsoleMessage(CefRefPtr<CefBrowser>, const CefString& message, const CefString& source,
                        int line) override {
    Note("OnConsoleMessage");
    console.push_back({message.ToString(), source.ToString(), line});
    return false;
  }

  // Load.
  void OnLoadingStateChange(CefRefPtr<CefBrowser>, bool is_loading, bool, bool) override {
    Note("OnLoadingStateChange");
    loading = is_loading;
    if (!is_loading) ++loads_finished;
  }
  void OnLoadError(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame, ErrorCode code,
                   const CefString& text, const CefString& url) override {
    Note("OnLoadError");
    load_errors.push_back({code, text.ToString(), url.ToString(), frame->IsMain()});
  }

  // Dialogs.
  bool OnJSDialog(CefRefPtr<CefBrowser>, const CefString& origin, const CefString&,
                  JSDialogType type, const CefString& message, const CefString& prompt,
                  CefRefPtr<CefJSDialogCallback>, bool& suppress) override {
    Note("OnJSDialog");
    dialogs.push_back({origin.ToString(), type, message.ToString(), prompt.ToString()});
    suppress = true;
    return false;
  }

  // Request.
  void OnRenderProcessTerminated(CefRefPtr<CefBrowser>, TerminationStatus) override {
    Note("OnRenderProcessTerminated");
  }

  // Render.
  bool GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) override {
    rect = CefRect(0, 0, width_, height_);
    return true;
  }
  void OnCursorChange(CefRefPtr<CefBrowser>, CefCursorHandle cursor, CursorType type,
                      const CefCursorInfo&) override {
    Note("OnCursorChange");
    cursors.push_back({type, reinterpret_cast<uintptr_t>(cursor)});
  }
  void OnPaint(CefRefPtr<CefBrowser>, PaintElementType type, const RectList& rects,
               const void* buffer, int width, int height) override {
    Note("OnPaint");
    if (type != PET_VIEW) return;
    ++paints;
    last_rects = rects;
    const uint8_t* px = static_cast<const uint8_t*>(buffer);
    std::vector<uint8_t> frame(px, px + static_cast<size_t>(width) * height * 4);
    if (rects.empty()) ++rect_failures;
    if (width == frame_width && height == frame_height) {
      CheckRects(frame, rects, width, height);
    }
    frame_width = width;
    frame_height = height;
    pixels = std::move(frame);
  }

  // BGRA of the last painted frame at (x, y).
  uint32_t PixelAt(int x, int y) const {
    const uint8_t* p = pixels.data() + (static_cast<size_t>(y) * frame_width + x) * 4;
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  }
  bool HasConsole(const std::string& text) const {
    for (const auto& c : console)
      if (c.message == text) return true;
    return false;
  }
  bool HasConsolePrefix(const std::string& prefix) const {
    return !ConsoleWithPrefix(prefix).empty();
  }
  std::string ConsoleWithPrefix(const std::string& prefix) const {
    for (const auto& c : console)
      if (c.message.compare(0, prefix.size(), prefix) == 0) return c.message;
    return std::string();
  }
  bool HasTitle(const std::string& title) const {
    for (const auto& t : titles)
      if (t == title) return true;
    return false;
  }

  // State the tests read.
  int frame_rate = 60;
  CefRefPtr<CefBrowser> browser;
  bool closed = false;
  bool loading = false;
  int loads_finished = 0;
  std::vector<std::string> order;
  int order_failures = 0;
  std::vector<AddressEntry> addresses;
  std::vector<std::string> titles;
  std::vector<ConsoleEntry> console;
  std::vector<LoadErrorEntry> load_errors;
  std::vector<DialogEntry> dialogs;
  std::vector<std::string> popups;
  std::vector<std::pair<CursorType, uintptr_t>> cursors;
  int paints = 0;
  int rect_failures = 0;     // paints whose rectangles miss a change
  long long rect_area = 0;   // pixels inside the rectangles of checked paints
  long long changed_area = 0;  // pixels inside the tight box of each paint's changes
  RectList last_rects;
  std::vector<uint8_t> pixels;
  int frame_width = 0;
  int frame_height = 0;

 private:
  void Note(const char* what, bool first = false) {
    // Nothing of a browser before OnAfterCreated, nothing after OnBeforeClose.
    if ((first && !order.empty()) || (!first && order.empty()) || closed) ++order_failures;
    order.push_back(what);
  }

  void CheckRects(const std::vector<uint8_t>& frame, const RectList& rects, int width, int height) {
    std::vector<uint8_t> covered(static_cast<size_t>(width) * height, 0);
    for (const CefRect& r : rects) {
      rect_area += static_cast<long long>(r.width) * r.height;
      for (int y = std::max(0, r.y); y < std::min(height, r.y + r.height); ++y)
        for (int x = std::max(0, r.x); x < std::min(width, r.x + r.width); ++x)
          covered[static_cast<size_t>(y) * width + x] = 1;
    }
    int min_x = width, min_y = height, max_x = -1, max_y = -1;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        size_t i = (static_cast<size_t>(y) * width + x);
        if (std::memcmp(&frame[i * 4], &pixels[i * 4], 4) == 0) continue;
        if (!covered[i]) {
          ++rect_failures;
          return;
        }
        min_x = std::min(min_x, x), max_x = std::max(max_x, x);
        min_y = std::min(min_y, y), max_y = std::max(max_y, y);
      }
    }
    if (max_x >= 0) changed_area += static_cast<long long>(max_x - min_x + 1) * (max_y - min_y + 1);
  }

  int width_;
  int height_;
  IMPLEMENT_REFCOUNTING(TestClient);
};

// End of a test's browser: closes it if still open, waits for
// OnBeforeClose, checks the callback order and lets go of the client.
inline void CloseAndForget(CefRefPtr<TestClient>& client) {
  if (client && client->browser) {
    client->browser->GetHost()->CloseBrowser(true);
    EXPECT_TRUE(PumpUntil([&] { return client->closed; }));
  }
  if (client) {
    EXPECT_EQ(client->order_failures, 0);
  }
  client = nullptr;
}

}  // namespace vemo_e2e

#endif  // TESTS_E2E_ENGINE_TEST_CLIENT_H_
