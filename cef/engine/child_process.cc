#include "cef/engine/child_process.h"

#include "ipc/base/logging.h"

namespace cef_engine {

int RunChildProcess(const std::string& type, const CefMainArgs& /*args*/,
                    CefRefPtr<CefApp> /*app*/) {
  // The headless engine starts its own renderer, GPU and utility
  // processes; none is started from this executable yet.
  LOG(ERROR) << "child process of type \"" << type << "\" is not provided by this layer";
  return 1;
}

}  // namespace cef_engine
