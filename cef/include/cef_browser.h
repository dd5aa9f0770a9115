// A browser and its host side.
#ifndef CEF_INCLUDE_CEF_BROWSER_H_
#define CEF_INCLUDE_CEF_BROWSER_H_

#include <cstdint>
#include <vector>

#include "cef/include/cef_base.h"
#include "cef/include/cef_frame.h"
#include "cef/include/cef_process_message.h"
#include "cef/include/cef_request_context.h"

class CefBrowserHost;
class CefClient;

// UI-thread object. It stays a valid object after the browser has closed;
// its methods then do nothing and return false / null.
class CefBrowser : public virtual CefBaseRefCounted {
 public:
  virtual CefRefPtr<CefBrowserHost> GetHost() = 0;

  virtual bool CanGoBack() = 0;
  virtual void GoBack() = 0;
  virtual bool CanGoForward() = 0;
  virtual void GoForward() = 0;
  virtual bool IsLoading() = 0;
  virtual void Reload() = 0;
  virtual void ReloadIgnoreCache() = 0;
  virtual void StopLoad() = 0;

  // Unique in the process (1, 2, ...); the same for the browser's life.
  virtual int GetIdentifier() = 0;
  virtual bool IsSame(CefRefPtr<CefBrowser> that) = 0;
  // Always false: popups never open here.
  virtual bool IsPopup() = 0;
  // True once a document other than the initial blank one has loaded.
  virtual bool HasDocument() = 0;

  virtual CefRefPtr<CefFrame> GetMainFrame() = 0;
  virtual CefRefPtr<CefFrame> GetFocusedFrame() = 0;
  // Null when no frame of this browser has that identifier.
  virtual CefRefPtr<CefFrame> GetFrame(int64_t identifier) = 0;
  virtual size_t GetFrameCount() = 0;
  virtual void GetFrameIdentifiers(std::vector<int64_t>& identifiers) = 0;
};

typedef cef_paint_element_type_t CefPaintElementType;

// The host side of a browser: creation, closing, input, sizing and zoom.
class CefBrowserHost : public virtual CefBaseRefCounted {
 public:
  typedef cef_mouse_button_type_t MouseButtonType;
  typedef cef_paint_element_type_t PaintElementType;

  // Starts creating a windowless browser for client (which must have a
  // render handler) and returns at once; the browser arrives in
  // OnAfterCreated, and url (if not empty) is then loaded. False, with a
  // log line, before CefInitialize, after the engine has gone, without a
  // client or render handler, or when windowInfo is not windowless.
  // request_context must be null (one shared profile).
  static bool CreateBrowser(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                            const CefString& url, const CefBrowserSettings& settings,
                            CefRefPtr<CefRequestContext> request_context);

  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;

  // Closes the browser: its page goes away and OnBeforeClose follows (the
  // last callback of this browser). force_close true skips the page's
  // unload prompts; both close without asking DoClose for permission to
  // destroy a window (there is none).
  virtual void CloseBrowser(bool force_close) = 0;

  // Gives the page keyboard focus (true) or takes it away (false).
  virtual void SetFocus(bool focus) = 0;

  virtual CefRefPtr<CefClient> GetClient() = 0;

  // Zoom: scale = 1.2 ^ level (0 = 100 %). The page is laid out at
  // view size / scale CSS pixels and still painted at full view
  // resolution. Setting the current level again costs nothing.
  virtual double GetZoomLevel() = 0;
  virtual void SetZoomLevel(double zoomLevel) = 0;

  // True for windowless browsers (all browsers here).
  virtual bool IsWindowRenderingDisabled() = 0;

  // The view size may have changed: GetViewRect is asked again.
  virtual void WasResized() = 0;
  // Hidden browsers stop painting until shown again.
  virtual void WasHidden(bool hidden) = 0;
  // The screen may have changed: GetScreenInfo is asked again.
  virtual void NotifyScreenInfoChanged() = 0;
  // Asks for a repaint: PET_VIEW delivers the whole view to OnPaint again
  // (from the last frame, without waiting for the page); PET_POPUP does
  // nothing (the engine draws popups inside the view).
  virtual void Invalidate(PaintElementType type) = 0;

  // Input, in view coordinates. Events of a browser reach the page in the
  // order they were sent.
  virtual void SendKeyEvent(const CefKeyEvent& event) = 0;
  virtual void SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type,
                                   bool mouseUp, int clickCount) = 0;
  virtual void SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) = 0;
  // Deltas in view pixels; positive deltaY scrolls up, positive deltaX left
  // (Windows wheel convention, 120 per notch).
  virtual void SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) = 0;
  virtual void SendFocusEvent(bool setFocus) = 0;
  // Releases a mouse capture (a held button is let go).
  virtual void SendCaptureLostEvent() = 0;
};

#endif  // CEF_INCLUDE_CEF_BROWSER_H_
