#include "cef/engine/input_events.h"

#include "cef/engine/key_codes.h"
#include "ipc/base/utf_string_conversions.h"

namespace cef_engine {

int ButtonsFromFlags(uint32_t flags) {
  int buttons = 0;
  if (flags & EVENTFLAG_LEFT_MOUSE_BUTTON) buttons |= kLeftButtonBit;
  if (flags & EVENTFLAG_RIGHT_MOUSE_BUTTON) buttons |= kRightButtonBit;
  if (flags & EVENTFLAG_MIDDLE_MOUSE_BUTTON) buttons |= kMiddleButtonBit;
  return buttons;
}

Json KeyEventParams(const CefKeyEvent& event) {
  Json p = Json::object();
  p["modifiers"] = DevToolsModifiers(event.modifiers);
  if (event.is_system_key) p["isSystemKey"] = true;
  if (event.type == KEYEVENT_CHAR) {
    char16_t ch = event.character ? event.character
                                  : static_cast<char16_t>(event.windows_key_code & 0xFFFF);
    std::string text = ipcbase::UTF16ToUTF8(std::u16string(1, ch));
    std::string unmodified =
        event.unmodified_character
            ? ipcbase::UTF16ToUTF8(std::u16string(1, event.unmodified_character))
            : text;
    p["type"] = "char";
    p["text"] = text;
    p["unmodifiedText"] = unmodified;
    p["key"] = text;
    p["windowsVirtualKeyCode"] = static_cast<int>(ch);
    return p;
  }
  DomKey dom = DomKeyForVirtualKey(event.windows_key_code, event.modifiers);
  switch (event.type) {
    case KEYEVENT_RAWKEYDOWN: p["type"] = "rawKeyDown"; break;
    case KEYEVENT_KEYDOWN: p["type"] = "keyDown"; break;
    default: p["type"] = "keyUp"; break;
  }
  p["windowsVirtualKeyCode"] = event.windows_key_code;
  p["nativeVirtualKeyCode"] = event.windows_key_code;
  p["key"] = dom.key;
  if (!dom.code.empty()) p["code"] = dom.code;
  if (dom.location) p["location"] = dom.location;
  if (event.modifiers & EVENTFLAG_IS_KEY_PAD) p["isKeypad"] = true;
  // Bit 30 of a Windows key message's lparam: the key was already down.
  if (event.type != KEYEVENT_KEYUP && (static_cast<uint32_t>(event.native_key_code) & (1u << 30))) {
    p["autoRepeat"] = true;
  }
  if (event.type == KEYEVENT_KEYDOWN) {
    // A key-down that types in the same event.
    std::u16string text =
        event.character ? std::u16string(1, event.character) : dom.text;
    if (!text.empty() && !(event.modifiers & (EVENTFLAG_CONTROL_DOWN | EVENTFLAG_ALT_DOWN))) {
      p["text"] = ipcbase::UTF16ToUTF8(text);
      p["unmodifiedText"] = ipcbase::UTF16ToUTF8(text);
    }
  }
  return p;
}

Json MouseEventParams(const char* type, const CefMouseEvent& event, double screen_scale,
                      const char* button, int buttons, int click_count) {
  if (!(screen_scale > 0)) screen_scale = 1;
  Json p = {{"type", type},
            {"x", event.x * screen_scale},
            {"y", event.y * screen_scale},
            {"modifiers", DevToolsModifiers(event.modifiers)},
            {"button", button},
            {"buttons", buttons}};
  if (click_count > 0) p["clickCount"] = click_count;
  return p;
}

}  // namespace cef_engine
