// Page state shown around a page: address, title, console.
#ifndef CEF_INCLUDE_CEF_DISPLAY_HANDLER_H_
#define CEF_INCLUDE_CEF_DISPLAY_HANDLER_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_browser.h"
#include "cef/include/cef_frame.h"

// All methods run on the UI thread.
class CefDisplayHandler : public virtual CefBaseRefCounted {
 public:
  // A frame's address changed (a navigation committed, or the document
  // changed its address by history.pushState / a fragment).
  virtual void OnAddressChange(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/,
                               const CefString& /*url*/) {}
  // The main document's title changed (also a change of the title alone).
  // A document without a title reports its address.
  virtual void OnTitleChange(CefRefPtr<CefBrowser> /*browser*/, const CefString& /*title*/) {}
  // Not reported by this engine.
  virtual bool OnTooltip(CefRefPtr<CefBrowser> /*browser*/, CefString& /*text*/) { return false; }
  virtual void OnStatusMessage(CefRefPtr<CefBrowser> /*browser*/, const CefString& /*value*/) {}
  // A console message of any frame (console.* calls and uncaught
  // exceptions): the formatted text, the script's URL and its 1-based
  // line (0 when unknown). Return true to keep it out of the log.
  virtual bool OnConsoleMessage(CefRefPtr<CefBrowser> /*browser*/, const CefString& /*message*/,
                                const CefString& /*source*/, int /*line*/) {
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_DISPLAY_HANDLER_H_
