// The engine's child processes started from this executable
// ("--type=..."). Render processes, which run the application's
// render-process handler, plug in here.
#ifndef CEF_ENGINE_CHILD_PROCESS_H_
#define CEF_ENGINE_CHILD_PROCESS_H_

#include <string>

#include "cef/include/cef_app.h"

namespace cef_engine {

// Runs the child process of that type and returns its exit code (>= 0).
int RunChildProcess(const std::string& type, const CefMainArgs& args, CefRefPtr<CefApp> app);

}  // namespace cef_engine

#endif  // CEF_ENGINE_CHILD_PROCESS_H_
