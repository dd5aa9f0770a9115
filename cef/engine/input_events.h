// Input events of the API as DevTools Input.dispatch* parameters.
#ifndef CEF_ENGINE_INPUT_EVENTS_H_
#define CEF_ENGINE_INPUT_EVENTS_H_

#include "cef/engine/json_util.h"
#include "cef/include/internal/cef_types_wrappers.h"

namespace cef_engine {

// Mouse buttons as DevTools numbers them in "buttons".
inline constexpr int kLeftButtonBit = 1;
inline constexpr int kRightButtonBit = 2;
inline constexpr int kMiddleButtonBit = 4;

// The "buttons" bits held according to cef_event_flags_t.
int ButtonsFromFlags(uint32_t flags);

// Input.dispatchKeyEvent parameters. Character events carry the character
// (character, else windows_key_code, as Windows WM_CHAR does); key events
// carry the DOM key, code and location of the virtual key.
Json KeyEventParams(const CefKeyEvent& event);

// Input.dispatchMouseEvent parameters for a mouse at view position
// (x, y). The protocol takes positions in the window's pixels, which are
// view pixels times the screen's scale factor (screen_scale); the engine
// itself applies the page zoom on the way to CSS pixels.
// type: "mouseMoved", "mousePressed", "mouseReleased", "mouseWheel".
// button: "none", "left", "middle", "right"; buttons: held buttons.
Json MouseEventParams(const char* type, const CefMouseEvent& event, double screen_scale,
                      const char* button, int buttons, int click_count);

}  // namespace cef_engine

#endif  // CEF_ENGINE_INPUT_EVENTS_H_
