// The application object and the process-wide entry points.
//
// Browser process, on its main thread:
//
//   CefMainArgs args(argc, argv);
//   if (int code = CefExecuteProcess(args, app, nullptr); code >= 0) return code;
//   CefSettings settings;
//   settings.no_sandbox = 1;
//   settings.windowless_rendering_enabled = 1;
//   CefInitialize(args, settings, app, nullptr);
//   while (running) { CefDoMessageLoopWork(); sleep 10 ms; }
//   CefShutdown();
//
// The thread that calls CefInitialize is the UI thread: every client
// callback runs on it, inside CefDoMessageLoopWork (or CefShutdown), and
// the API's browser, host and frame methods are meant to be called on it.
#ifndef CEF_INCLUDE_CEF_APP_H_
#define CEF_INCLUDE_CEF_APP_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_browser_process_handler.h"
#include "cef/include/cef_command_line.h"
#include "cef/include/cef_render_process_handler.h"
#include "cef/include/cef_resource_bundle_handler.h"
#include "cef/include/cef_scheme.h"

class CefApp : public virtual CefBaseRefCounted {
 public:
  // Before the engine reads its command line (process_type is empty in the
  // browser process); switches added here reach the engine.
  virtual void OnBeforeCommandLineProcessing(const CefString& /*process_type*/,
                                             CefRefPtr<CefCommandLine> /*command_line*/) {}
  // Once per process, before the context is initialised.
  virtual void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> /*registrar*/) {}
  virtual CefRefPtr<CefResourceBundleHandler> GetResourceBundleHandler() { return nullptr; }
  virtual CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() { return nullptr; }
  virtual CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() { return nullptr; }
};

// Runs a child process of the engine when the command line says so
// ("--type=..."), returning its exit code (>= 0); returns -1 at once in the
// browser process (no "--type"). windows_sandbox_info is unused (null).
int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application,
                      void* windows_sandbox_info);

// Starts the engine: checks the settings, tells the application
// (OnBeforeCommandLineProcessing, OnRegisterCustomSchemes), starts the
// headless engine ($VEMO_CHROMIUM, else
// /usr/lib/chromium/chromium-headless-shell) with the settings' cache path
// as its profile, and returns at once (the engine comes up in the
// background). False, with a log line, when the settings are unusable
// (wrong size, multi-threaded loop), the engine cannot be started, or the
// layer is already initialised. The engine is granted file access from
// file:// pages for all its browsers (see CefBrowserSettings).
bool CefInitialize(const CefMainArgs& args, const CefSettings& settings,
                   CefRefPtr<CefApp> application, void* windows_sandbox_info);

// Closes every browser that is still open (their OnBeforeClose runs here),
// stops the engine and waits (bounded) for all its processes to exit,
// removes a temporary profile, and drops the application. UI thread only.
void CefShutdown();

// One round of work on the UI thread: delivers every callback that is due
// (in the order the engine reported the events), then returns. Never
// blocks on the engine. Does nothing before CefInitialize or off the UI
// thread (logged).
void CefDoMessageLoopWork();

#endif  // CEF_INCLUDE_CEF_APP_H_
