// Keyboard events before and after the page.
#ifndef CEF_INCLUDE_CEF_KEYBOARD_HANDLER_H_
#define CEF_INCLUDE_CEF_KEYBOARD_HANDLER_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_browser.h"

// Key events sent with SendKeyEvent go straight to the page in this
// engine; these methods are not called.
class CefKeyboardHandler : public virtual CefBaseRefCounted {
 public:
  virtual bool OnPreKeyEvent(CefRefPtr<CefBrowser> /*browser*/, const CefKeyEvent& /*event*/,
                             CefEventHandle /*os_event*/, bool* /*is_keyboard_shortcut*/) {
    return false;
  }
  virtual bool OnKeyEvent(CefRefPtr<CefBrowser> /*browser*/, const CefKeyEvent& /*event*/,
                          CefEventHandle /*os_event*/) {
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_KEYBOARD_HANDLER_H_
