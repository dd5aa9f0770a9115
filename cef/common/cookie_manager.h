// The cookie manager behind CefCookieManager::GetGlobalManager. The
// engine's profile stores the cookies; this object records the scheme list.
#ifndef CEF_COMMON_COOKIE_MANAGER_H_
#define CEF_COMMON_COOKIE_MANAGER_H_

#include <mutex>
#include <vector>

#include "cef/include/cef_cookie.h"

namespace cef_internal {

class CookieManagerImpl : public CefCookieManager {
 public:
  // Records the list (logging schemes other than http and https, whose
  // cookies the engine does not keep) and tells callback at once.
  void SetSupportedSchemes(const std::vector<CefString>& schemes,
                           CefRefPtr<CefCompletionCallback> callback) override;

  // The list last set; safe on any thread.
  std::vector<CefString> supported_schemes() const;

 private:
  mutable std::mutex lock_;
  std::vector<CefString> schemes_;

  IMPLEMENT_REFCOUNTING(CookieManagerImpl);
};

}  // namespace cef_internal

#endif  // CEF_COMMON_COOKIE_MANAGER_H_
