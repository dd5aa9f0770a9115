// Loading progress and errors.
#ifndef CEF_INCLUDE_CEF_LOAD_HANDLER_H_
#define CEF_INCLUDE_CEF_LOAD_HANDLER_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_browser.h"
#include "cef/include/cef_frame.h"

// All methods run on the UI thread.
class CefLoadHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_errorcode_t ErrorCode;

  // The browser started (isLoading true) or finished loading its main
  // document; reported only when the state changes.
  virtual void OnLoadingStateChange(CefRefPtr<CefBrowser> /*browser*/, bool /*isLoading*/,
                                    bool /*canGoBack*/, bool /*canGoForward*/) {}
  // A frame committed a new document.
  virtual void OnLoadStart(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/) {}
  // A frame finished loading; httpStatusCode of its document (0 when not
  // from HTTP or unknown).
  virtual void OnLoadEnd(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/,
                         int /*httpStatusCode*/) {}
  // A frame's document failed to load: the engine's numeric error code,
  // its name without prefix ("ERR_NAME_NOT_RESOLVED") and the address.
  // ERR_ABORTED is reported when a load was cancelled by another one.
  virtual void OnLoadError(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/,
                           ErrorCode /*errorCode*/, const CefString& /*errorText*/,
                           const CefString& /*failedUrl*/) {}
};

#endif  // CEF_INCLUDE_CEF_LOAD_HANDLER_H_
