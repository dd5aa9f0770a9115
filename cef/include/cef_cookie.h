// The cookie store of the engine.
#ifndef CEF_INCLUDE_CEF_COOKIE_H_
#define CEF_INCLUDE_CEF_COOKIE_H_

#include <vector>

#include "cef/include/cef_base.h"
#include "cef/include/cef_callback.h"

class CefCookieManager : public virtual CefBaseRefCounted {
 public:
  // The manager of the engine's profile; null before CefInitialize and
  // after CefShutdown. callback (may be null) is told once the store is
  // ready (at once here: the store is the engine profile's).
  static CefRefPtr<CefCookieManager> GetGlobalManager(
      CefRefPtr<CefCompletionCallback> callback = nullptr);

  // The URL schemes whose cookies are stored. The engine always stores
  // cookies of http and https (and of no other scheme), so the list is
  // recorded and schemes outside those two are logged as unsupported.
  // callback (may be null) is told when done.
  virtual void SetSupportedSchemes(const std::vector<CefString>& schemes,
                                   CefRefPtr<CefCompletionCallback> callback = nullptr) = 0;
};

#endif  // CEF_INCLUDE_CEF_COOKIE_H_
