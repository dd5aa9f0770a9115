// Windowless rendering: view geometry, painted pixels, popups and cursors.
#ifndef CEF_INCLUDE_CEF_RENDER_HANDLER_H_
#define CEF_INCLUDE_CEF_RENDER_HANDLER_H_

#include <vector>

#include "cef/include/cef_base.h"
#include "cef/include/cef_browser.h"

// All methods run on the UI thread.
class CefRenderHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_cursor_type_t CursorType;
  typedef cef_paint_element_type_t PaintElementType;
  typedef std::vector<CefRect> RectList;

  // The root window in screen coordinates; false: same as the view.
  virtual bool GetRootScreenRect(CefRefPtr<CefBrowser> /*browser*/, CefRect& /*rect*/) { return false; }

  // The view in view pixels (x and y are ignored). Asked when the browser
  // is created and after every WasResized. A false result or an empty
  // rectangle keeps the previous size (1 x 1 at first).
  virtual bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) = 0;

  // Converts view coordinates to screen coordinates; false: unknown.
  virtual bool GetScreenPoint(CefRefPtr<CefBrowser> /*browser*/, int /*viewX*/, int /*viewY*/,
                              int& /*screenX*/, int& /*screenY*/) {
    return false;
  }

  // Screen information; false: scale factor 1. device_scale_factor is the
  // number of painted pixels per view pixel. Asked when the browser is
  // created and after every NotifyScreenInfoChanged.
  virtual bool GetScreenInfo(CefRefPtr<CefBrowser> /*browser*/, CefScreenInfo& /*screen_info*/) {
    return false;
  }

  // A popup widget is shown or hidden, and where. This engine draws popup
  // widgets (the list of a <select>) inside the view, so these are not
  // called.
  virtual void OnPopupShow(CefRefPtr<CefBrowser> /*browser*/, bool /*show*/) {}
  virtual void OnPopupSize(CefRefPtr<CefBrowser> /*browser*/, const CefRect& /*rect*/) {}

  // New pixels: buffer holds width x height pixels, 4 bytes each in BGRA
  // order with premultiplied alpha, rows top to bottom, stride width * 4,
  // valid only during the call. dirtyRects (never empty) cover every pixel
  // that differs from the previous OnPaint of this type (all of it on the
  // first paint, after a size change or an Invalidate). width x height is
  // the view size times the screen's scale factor, or smaller while a
  // resize is under way. Nothing is painted while nothing changes.
  virtual void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type,
                       const RectList& dirtyRects, const void* buffer, int width,
                       int height) = 0;

  // The cursor over the page changed. cursor is a fixed value per type:
  // 0x10000 + type (CT_POINTER 0x10000, CT_HAND 0x10002, CT_IBEAM 0x10003,
  // ...); CT_CUSTOM is never reported and custom_cursor_info is empty.
  virtual void OnCursorChange(CefRefPtr<CefBrowser> /*browser*/, CefCursorHandle /*cursor*/,
                              CursorType /*type*/, const CefCursorInfo& /*custom_cursor_info*/) {}

  // The page's scroll position changed (not reported by this engine).
  virtual void OnScrollOffsetChanged(CefRefPtr<CefBrowser> /*browser*/, double /*x*/, double /*y*/) {}
};

#endif  // CEF_INCLUDE_CEF_RENDER_HANDLER_H_
