// Callbacks of the browser process.
#ifndef CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_
#define CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_command_line.h"
#include "cef/include/cef_print_handler.h"
#include "cef/include/cef_values.h"

class CefBrowserProcessHandler : public virtual CefBaseRefCounted {
 public:
  // Once, on the UI thread, inside the first CefDoMessageLoopWork after a
  // successful CefInitialize, before any browser callback.
  virtual void OnContextInitialized() {}

  // Before a child process starts: its command line may be changed. On the
  // UI thread for render processes, on the IO thread for others.
  virtual void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> /*command_line*/) {}

  // On the IO thread when a render process's main thread starts; what the
  // handler adds to extra_info reaches that render process.
  virtual void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> /*extra_info*/) {}

  // Never asked here (no printing).
  virtual CefRefPtr<CefPrintHandler> GetPrintHandler() { return nullptr; }
};

#endif  // CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_
