// The engine's child processes started from this executable
// ("--type=..."). The layer starts render processes only: each runs the
// application's render-process handler, linked to the browser process that
// started it; every other process type belongs to the headless engine.
#ifndef CEF_ENGINE_CHILD_PROCESS_H_
#define CEF_ENGINE_CHILD_PROCESS_H_

#include <string>

#include "cef/include/cef_app.h"

namespace cef_engine {

// Runs the child process of that type and returns its exit code (>= 0):
// for "renderer", 0 once the browser process has closed the link, 1 when
// the process has no link or the link broke; 1 for any other type.
int RunChildProcess(const std::string& type, const CefMainArgs& args, CefRefPtr<CefApp> app);

}  // namespace cef_engine

#endif  // CEF_ENGINE_CHILD_PROCESS_H_
