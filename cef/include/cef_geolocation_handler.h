// Geolocation permission requests.
#ifndef CEF_INCLUDE_CEF_GEOLOCATION_HANDLER_H_
#define CEF_INCLUDE_CEF_GEOLOCATION_HANDLER_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_browser.h"

class CefGeolocationCallback : public virtual CefBaseRefCounted {
 public:
  virtual void Continue(bool allow) = 0;
};

// The engine here denies every geolocation request itself; these methods
// are not called.
class CefGeolocationHandler : public virtual CefBaseRefCounted {
 public:
  virtual bool OnRequestGeolocationPermission(CefRefPtr<CefBrowser> /*browser*/,
                                              const CefString& /*requesting_url*/, int /*request_id*/,
                                              CefRefPtr<CefGeolocationCallback> /*callback*/) {
    return false;
  }
  virtual void OnCancelGeolocationPermission(CefRefPtr<CefBrowser> /*browser*/, int /*request_id*/) {}
};

#endif  // CEF_INCLUDE_CEF_GEOLOCATION_HANDLER_H_
