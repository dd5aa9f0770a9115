#include "cef/common/cookie_manager.h"

#include "ipc/base/logging.h"

namespace cef_internal {

void CookieManagerImpl::SetSupportedSchemes(const std::vector<CefString>& schemes,
                                            CefRefPtr<CefCompletionCallback> callback) {
  for (const CefString& scheme : schemes) {
    if (scheme != "http" && scheme != "https") {
      LOG(INFO) << "cookies of scheme \"" << scheme.ToString() << "\" are not stored";
    }
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    schemes_ = schemes;
  }
  if (callback) callback->OnComplete();
}

std::vector<CefString> CookieManagerImpl::supported_schemes() const {
  std::lock_guard<std::mutex> hold(lock_);
  return schemes_;
}

}  // namespace cef_internal
