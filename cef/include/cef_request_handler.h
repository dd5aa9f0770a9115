// Requests of a browser and the fate of its render process.
#ifndef CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
#define CEF_INCLUDE_CEF_REQUEST_HANDLER_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_browser.h"

// Resource interception (GetResourceHandler) arrives with the layer's
// resource support.
class CefRequestHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_termination_status_t TerminationStatus;

  // On the UI thread: the process rendering this browser's page ended
  // unexpectedly; the page stays blank until the next LoadURL.
  virtual void OnRenderProcessTerminated(CefRefPtr<CefBrowser> /*browser*/,
                                         TerminationStatus /*status*/) {}
};

#endif  // CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
