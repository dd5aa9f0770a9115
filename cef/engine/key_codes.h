// Windows virtual-key codes to the DOM's key and code values (US layout),
// so that pages see e.key / e.code / e.location as on Windows.
#ifndef CEF_ENGINE_KEY_CODES_H_
#define CEF_ENGINE_KEY_CODES_H_

#include <cstdint>
#include <string>

namespace cef_engine {

struct DomKey {
  std::string key;    // "a", "A", "!", "Enter", "ArrowLeft", "Unidentified"
  std::string code;   // "KeyA", "Digit1", "NumpadEnter", "" when unknown
  int location = 0;   // 0 standard, 1 left, 2 right, 3 numeric keypad
  std::u16string text;  // what the key types (empty for keys that type nothing)
};

// The DOM values of virtual key vk under modifiers (cef_event_flags_t):
// shift and caps lock choose the character; EVENTFLAG_IS_KEY_PAD selects
// the keypad variant; EVENTFLAG_IS_LEFT / _IS_RIGHT the side of a modifier.
DomKey DomKeyForVirtualKey(int vk, uint32_t modifiers);

// The DevTools modifier bits (Alt 1, Ctrl 2, Meta 4, Shift 8) of
// cef_event_flags_t.
int DevToolsModifiers(uint32_t flags);

}  // namespace cef_engine

#endif  // CEF_ENGINE_KEY_CODES_H_
