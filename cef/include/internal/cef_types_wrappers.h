// C++ wrappers of the records in cef_types.h. Each starts zeroed with its
// size field set, copies its strings deeply and frees them when destroyed.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_

#include <cstring>
#include <vector>

#include "cef/include/internal/cef_string.h"
#include "cef/include/internal/cef_types.h"

typedef cef_window_handle_t CefWindowHandle;
typedef cef_cursor_handle_t CefCursorHandle;
typedef cef_event_handle_t CefEventHandle;

class CefRect : public cef_rect_t {
 public:
  CefRect() : cef_rect_t{0, 0, 0, 0} {}
  CefRect(const cef_rect_t& r) : cef_rect_t(r) {}
  CefRect(int x, int y, int width, int height) : cef_rect_t{x, y, width, height} {}

  void Set(int x_val, int y_val, int width_val, int height_val) {
    x = x_val;
    y = y_val;
    width = width_val;
    height = height_val;
  }
  bool IsEmpty() const { return width <= 0 || height <= 0; }
  bool Contains(int px, int py) const {
    return px >= x && px < x + width && py >= y && py < y + height;
  }
};
inline bool operator==(const CefRect& a, const CefRect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
inline bool operator!=(const CefRect& a, const CefRect& b) { return !(a == b); }

class CefPoint : public cef_point_t {
 public:
  CefPoint() : cef_point_t{0, 0} {}
  CefPoint(int x, int y) : cef_point_t{x, y} {}
};

class CefSize : public cef_size_t {
 public:
  CefSize() : cef_size_t{0, 0} {}
  CefSize(int width, int height) : cef_size_t{width, height} {}
};

// Arguments of the process entry point (argc/argv of main).
class CefMainArgs : public cef_main_args_t {
 public:
  CefMainArgs() : cef_main_args_t{0, nullptr} {}
  CefMainArgs(int argc_val, char** argv_val) : cef_main_args_t{argc_val, argv_val} {}
};

class CefSettings : public cef_settings_t {
 public:
  CefSettings();
  CefSettings(const CefSettings& other);
  CefSettings& operator=(const CefSettings& other);
  ~CefSettings();
};

class CefBrowserSettings : public cef_browser_settings_t {
 public:
  CefBrowserSettings();
  CefBrowserSettings(const CefBrowserSettings& other);
  CefBrowserSettings& operator=(const CefBrowserSettings& other);
  ~CefBrowserSettings();
};

class CefWindowInfo : public cef_window_info_t {
 public:
  CefWindowInfo();
  CefWindowInfo(const CefWindowInfo& other);
  CefWindowInfo& operator=(const CefWindowInfo& other);
  ~CefWindowInfo();

  // Makes this a windowless browser: pixels go to OnPaint, on a transparent
  // background when transparent is true.
  void SetAsWindowless(cef_window_handle_t parent, bool transparent) {
    parent_window = parent;
    windowless_rendering_enabled = 1;
    transparent_painting_enabled = transparent ? 1 : 0;
  }
};

class CefScreenInfo : public cef_screen_info_t {
 public:
  CefScreenInfo() : cef_screen_info_t{} {}
};

class CefMouseEvent : public cef_mouse_event_t {
 public:
  CefMouseEvent() : cef_mouse_event_t{0, 0, 0} {}
};

class CefKeyEvent : public cef_key_event_t {
 public:
  CefKeyEvent() : cef_key_event_t{} {}
};

class CefCursorInfo : public cef_cursor_info_t {
 public:
  CefCursorInfo() : cef_cursor_info_t{} {}
};

class CefPopupFeatures : public cef_popup_features_t {
 public:
  CefPopupFeatures() : cef_popup_features_t{} {}
};

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_
