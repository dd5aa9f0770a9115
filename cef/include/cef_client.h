// The client of a browser: it hands out the handlers that receive the
// browser's callbacks. A getter returning null means "defaults".
#ifndef CEF_INCLUDE_CEF_CLIENT_H_
#define CEF_INCLUDE_CEF_CLIENT_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_browser.h"
#include "cef/include/cef_context_menu_handler.h"
#include "cef/include/cef_display_handler.h"
#include "cef/include/cef_drag_handler.h"
#include "cef/include/cef_geolocation_handler.h"
#include "cef/include/cef_jsdialog_handler.h"
#include "cef/include/cef_keyboard_handler.h"
#include "cef/include/cef_life_span_handler.h"
#include "cef/include/cef_load_handler.h"
#include "cef/include/cef_process_message.h"
#include "cef/include/cef_render_handler.h"
#include "cef/include/cef_request_handler.h"

// The getters are asked each time a callback is due (on the UI thread), so
// a client may change its answers.
class CefClient : public virtual CefBaseRefCounted {
 public:
  virtual CefRefPtr<CefContextMenuHandler> GetContextMenuHandler() { return nullptr; }
  virtual CefRefPtr<CefDisplayHandler> GetDisplayHandler() { return nullptr; }
  virtual CefRefPtr<CefDragHandler> GetDragHandler() { return nullptr; }
  virtual CefRefPtr<CefGeolocationHandler> GetGeolocationHandler() { return nullptr; }
  virtual CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() { return nullptr; }
  virtual CefRefPtr<CefKeyboardHandler> GetKeyboardHandler() { return nullptr; }
  virtual CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() { return nullptr; }
  virtual CefRefPtr<CefLoadHandler> GetLoadHandler() { return nullptr; }
  virtual CefRefPtr<CefRenderHandler> GetRenderHandler() { return nullptr; }
  virtual CefRefPtr<CefRequestHandler> GetRequestHandler() { return nullptr; }

  // A message from a render process of this browser; true when handled.
  virtual bool OnProcessMessageReceived(CefRefPtr<CefBrowser> /*browser*/,
                                        CefProcessId /*source_process*/,
                                        CefRefPtr<CefProcessMessage> /*message*/) {
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_CLIENT_H_
