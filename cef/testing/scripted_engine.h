// The scripted engine: an in-process stand-in for the real engine, so that
// unit tests of the application run without Chromium.
//
// Link cef_scripted instead of cef. The API then behaves as documented in
// cef/include, except that nothing renders: the test plays the engine's
// part. It reads what the application asked for (calls()) and scripts what
// the engine reports (Paint, AddressChange, ...). Scripted events, like the
// real engine's, are delivered on the UI thread inside CefDoMessageLoopWork,
// in the order they were scripted.
//
//   CefInitialize(args, settings, app, nullptr);
//   auto* engine = cef_testing::ScriptedEngine::Get();
//   window = new Window(...);            // calls CefBrowserHost::CreateBrowser
//   CefDoMessageLoopWork();              // GetViewRect, OnAfterCreated
//   int id = engine->browser_ids()[0];
//   engine->TitleChange(id, u"Hello");
//   CefDoMessageLoopWork();              // OnTitleChange
//   EXPECT_EQ(engine->calls()[..].type, cef_testing::Call::kLoadURL);
//   CefShutdown();
//
// Thread-safety: the scripting methods and calls() may be used on any
// thread; callbacks still run only on the UI thread (or, for
// RunRenderProcessThreadCreated, on the engine's IO thread).
#ifndef CEF_TESTING_SCRIPTED_ENGINE_H_
#define CEF_TESTING_SCRIPTED_ENGINE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cef/include/cef_app.h"
#include "cef/include/cef_browser.h"
#include "cef/include/cef_client.h"

namespace cef_testing {

// One thing the application asked of the engine.
struct Call {
  enum Type {
    kCreateBrowser,     // url, transparent, file_access
    kCloseBrowser,      // flag = force_close
    kLoadURL,           // frame_id, url
    kExecuteJavaScript, // frame_id, code, url (script URL), start_line
    kMouseMove,         // mouse, mouse_leave
    kMouseClick,        // mouse, button, mouse_up, click_count
    kMouseWheel,        // mouse, delta_x, delta_y
    kKey,               // key
    kFocus,             // flag (SendFocusEvent)
    kSetFocus,          // flag (SetFocus)
    kZoom,              // zoom_level
    kWasResized,
    kWasHidden,         // flag
    kNotifyScreenInfoChanged,
    kInvalidate,        // paint_type
    kCaptureLost,
    kGoBack,
    kGoForward,
    kReload,
    kStopLoad,
  };
  Type type;
  int browser_id = 0;
  int64_t frame_id = 0;
  std::string url;
  std::u16string code;
  int start_line = 0;
  CefMouseEvent mouse;
  bool mouse_leave = false;
  cef_mouse_button_type_t button = MBT_LEFT;
  bool mouse_up = false;
  int click_count = 0;
  int delta_x = 0;
  int delta_y = 0;
  CefKeyEvent key;
  bool flag = false;
  double zoom_level = 0;
  cef_paint_element_type_t paint_type = PET_VIEW;
  bool transparent = false;
  cef_state_t file_access = STATE_DEFAULT;
};

// What became of a scripted script dialog.
struct DialogOutcome {
  bool delivered = false;        // OnJSDialog ran
  bool handler_returned = false; // its result
  bool suppressed = false;       // suppress_message was set
  bool continued = false;        // the callback was called
  bool success = false;
  std::u16string user_input;
};

// What became of a scripted popup request.
struct PopupOutcome {
  bool delivered = false;        // OnBeforePopup ran
  bool handler_returned = false; // its result (true = cancelled)
};

class ScriptedEngine {
 public:
  // The engine between CefInitialize and CefShutdown; null otherwise.
  static ScriptedEngine* Get();

  // The exit code CefExecuteProcess returns for a child process
  // ("--type=..."); 0 unless set. Effective before CefInitialize too.
  static void SetChildProcessExitCode(int code);

  // What CefInitialize was given.
  const CefSettings& settings() const { return settings_; }
  CefRefPtr<CefApp> app() const { return app_; }
  // The schemes last given to the global cookie manager.
  std::vector<CefString> cookie_schemes() const;
  // Custom schemes registered in OnRegisterCustomSchemes.
  std::vector<std::u16string> custom_schemes() const;

  // Every call so far, in order; TakeCalls also forgets them.
  std::vector<Call> calls() const;
  std::vector<Call> TakeCalls();

  // Browsers created and not yet closed, in creation order.
  std::vector<int> browser_ids() const;
  // Any browser ever created (null for an unknown id).
  CefRefPtr<CefBrowser> browser(int id) const;
  CefRefPtr<CefClient> client(int id) const;
  // The view rectangle the render handler last reported for the browser.
  CefRect view_rect(int id) const;
  // The frame identifier of the browser's main frame.
  int64_t main_frame_id(int id) const;

  // Adds an iframe to the browser (a child of the main frame); returns its
  // identifier. RemoveFrame makes it invalid.
  int64_t AddFrame(int id, const std::string& name, const std::string& url);
  void RemoveFrame(int id, int64_t frame_id);

  // Events, delivered in the next CefDoMessageLoopWork. frame_id 0 means
  // the main frame.
  void Paint(int id, cef_paint_element_type_t type, std::vector<CefRect> dirty_rects,
             std::vector<uint8_t> pixels, int width, int height);
  void AddressChange(int id, int64_t frame_id, const std::string& url);
  void TitleChange(int id, const std::u16string& title);
  void ConsoleMessage(int id, const std::u16string& message, const std::u16string& source,
                      int line);
  void LoadingStateChange(int id, bool is_loading, bool can_go_back, bool can_go_forward);
  void LoadStart(int id, int64_t frame_id);
  void LoadEnd(int id, int64_t frame_id, int http_status_code);
  void LoadError(int id, int64_t frame_id, cef_errorcode_t code, const std::string& text,
                 const std::string& failed_url);
  std::shared_ptr<DialogOutcome> JSDialog(int id, const std::string& origin_url,
                                          cef_jsdialog_type_t type,
                                          const std::u16string& message,
                                          const std::u16string& default_prompt);
  std::shared_ptr<PopupOutcome> Popup(int id, const std::string& target_url,
                                      const std::string& frame_name, bool user_gesture);
  void CursorChange(int id, cef_cursor_type_t type);
  void PopupShow(int id, bool show);
  void PopupSize(int id, const CefRect& rect);
  void RenderProcessTerminated(int id, cef_termination_status_t status);
  // The browser closes by itself (as when its page called window.close):
  // OnBeforeClose follows.
  void BrowserClosed(int id);
  // The engine dies: every open browser gets OnBeforeClose, and later
  // calls that need the engine fail (CreateBrowser returns false).
  void EngineLost();

  // Launching a render process: OnBeforeChildProcessLaunch with a command
  // line of that type, run now on the calling (UI) thread; returns the
  // command line after the application changed it.
  CefRefPtr<CefCommandLine> LaunchChildProcess(const std::string& type);
  // OnRenderProcessThreadCreated, run on the engine's IO thread (a thread
  // of its own); returns the list after the application filled it.
  CefRefPtr<CefListValue> RunRenderProcessThreadCreated();

  // Internal: used by the API functions of the scripted engine.
  class BrowserImpl;
  struct Internals;
  Internals& internals() { return *internals_; }
  ScriptedEngine(const CefSettings& settings, CefRefPtr<CefApp> app);
  ~ScriptedEngine();
  void Record(Call call);
  void Post(std::function<void()> task);
  void RunPending();
  void FinishBrowser(int id);

 private:
  BrowserImpl* Find(int id) const;

  CefSettings settings_;
  CefRefPtr<CefApp> app_;
  std::unique_ptr<Internals> internals_;
};

}  // namespace cef_testing

#endif  // CEF_TESTING_SCRIPTED_ENGINE_H_
