// The part of CefExecuteProcess that every engine shares.
#ifndef CEF_COMMON_EXECUTE_PROCESS_H_
#define CEF_COMMON_EXECUTE_PROCESS_H_

#include <string>

#include "cef/include/cef_app.h"

namespace cef_internal {

// Makes the process's arguments the global command line. For a child process
// (one with "--type") it then lets the application register its schemes,
// stores the type in *type and returns true; for the browser process it
// returns false and does nothing more.
bool BeginChildProcess(const CefMainArgs& args, CefRefPtr<CefApp> application,
                       std::string* type);

}  // namespace cef_internal

#endif  // CEF_COMMON_EXECUTE_PROCESS_H_
