// A frame (the main document or an iframe) of a browser.
#ifndef CEF_INCLUDE_CEF_FRAME_H_
#define CEF_INCLUDE_CEF_FRAME_H_

#include <cstdint>

#include "cef/include/cef_base.h"

class CefBrowser;

// UI-thread object. A frame stays a valid object after it has gone from the
// page (IsValid then returns false and its methods do nothing).
class CefFrame : public virtual CefBaseRefCounted {
 public:
  // False once the frame has been removed from its page or its browser
  // has closed.
  virtual bool IsValid() = 0;

  // Navigates this frame (the main frame: the whole browser) to url.
  virtual void LoadURL(const CefString& url) = 0;

  // Runs code in this frame's page context, without waiting for it.
  // script_url names the script in console messages and errors (empty: an
  // anonymous script); start_line is the line number of its first line
  // (values below 1 count as 1).
  virtual void ExecuteJavaScript(const CefString& code, const CefString& script_url,
                                 int start_line) = 0;

  virtual bool IsMain() = 0;
  // True for the frame that last received focus in its browser.
  virtual bool IsFocused() = 0;
  // The frame's name attribute; empty for the main frame.
  virtual CefString GetName() = 0;
  // Unique in the process for the life of the layer; never 0.
  virtual int64_t GetIdentifier() = 0;
  // Null for the main frame.
  virtual CefRefPtr<CefFrame> GetParent() = 0;
  // The address of the frame's current document.
  virtual CefString GetURL() = 0;
  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
};

#endif  // CEF_INCLUDE_CEF_FRAME_H_
