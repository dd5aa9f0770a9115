// Creation, popups and closing of browsers.
#ifndef CEF_INCLUDE_CEF_LIFE_SPAN_HANDLER_H_
#define CEF_INCLUDE_CEF_LIFE_SPAN_HANDLER_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_browser.h"
#include "cef/include/cef_frame.h"

class CefClient;

// All methods run on the UI thread.
class CefLifeSpanHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_window_open_disposition_t WindowOpenDisposition;

  // A page asked for a new window (window.open, a link with a target).
  // Popups never open here, whatever the result; true cancels it quietly,
  // false is logged as a popup that could not be opened. The page's
  // window.open returns null. windowInfo, client, settings and
  // no_javascript_access are ignored.
  virtual bool OnBeforePopup(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/,
                             const CefString& /*target_url*/, const CefString& /*target_frame_name*/,
                             WindowOpenDisposition /*target_disposition*/, bool /*user_gesture*/,
                             const CefPopupFeatures& /*popupFeatures*/, CefWindowInfo& /*windowInfo*/,
                             CefRefPtr<CefClient>& /*client*/, CefBrowserSettings& /*settings*/,
                             bool* /*no_javascript_access*/) {
    return false;
  }

  // The browser exists; the first callback of every browser.
  virtual void OnAfterCreated(CefRefPtr<CefBrowser> /*browser*/) {}

  // Not asked: windowless browsers have no window to destroy.
  virtual bool DoClose(CefRefPtr<CefBrowser> /*browser*/) { return false; }

  // The browser is gone (closed, engine stopped or lost); the last callback
  // of the browser. Release every reference to it here.
  virtual void OnBeforeClose(CefRefPtr<CefBrowser> /*browser*/) {}
};

#endif  // CEF_INCLUDE_CEF_LIFE_SPAN_HANDLER_H_
