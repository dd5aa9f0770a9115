#include "cef/engine/key_codes.h"

#include "cef/include/internal/cef_types.h"

namespace cef_engine {
namespace {

struct Entry {
  int vk;
  const char* key;          // unshifted key (or the key's name)
  const char* shifted;      // key with shift, null when the same
  const char* code;
  bool types;               // the key types its key value
};

// Keys whose value does not depend on the keyboard state beyond shift.
constexpr Entry kKeys[] = {
    {0x08, "Backspace", nullptr, "Backspace", false},
    {0x09, "Tab", nullptr, "Tab", false},
    {0x0C, "Clear", nullptr, "NumpadClear", false},
    {0x0D, "Enter", nullptr, "Enter", false},
    {0x13, "Pause", nullptr, "Pause", false},
    {0x14, "CapsLock", nullptr, "CapsLock", false},
    {0x1B, "Escape", nullptr, "Escape", false},
    {0x20, " ", nullptr, "Space", true},
    {0x21, "PageUp", nullptr, "PageUp", false},
    {0x22, "PageDown", nullptr, "PageDown", false},
    {0x23, "End", nullptr, "End", false},
    {0x24, "Home", nullptr, "Home", false},
    {0x25, "ArrowLeft", nullptr, "ArrowLeft", false},
    {0x26, "ArrowUp", nullptr, "ArrowUp", false},
    {0x27, "ArrowRight", nullptr, "ArrowRight", false},
    {0x28, "ArrowDown", nullptr, "ArrowDown", false},
    {0x2C, "PrintScreen", nullptr, "PrintScreen", false},
    {0x2D, "Insert", nullptr, "Insert", false},
    {0x2E, "Delete", nullptr, "Delete", false},
    {0x30, "0", ")", "Digit0", true},
    {0x31, "1", "!", "Digit1", true},
    {0x32, "2", "@", "Digit2", true},
    {0x33, "3", "#", "Digit3", true},
    {0x34, "4", "$", "Digit4", true},
    {0x35, "5", "%", "Digit5", true},
    {0x36, "6", "^", "Digit6", true},
    {0x37, "7", "&", "Digit7", true},
    {0x38, "8", "*", "Digit8", true},
    {0x39, "9", "(", "Digit9", true},
    {0x5D, "ContextMenu", nullptr, "ContextMenu", false},
    {0x60, "0", nullptr, "Numpad0", true},
    {0x61, "1", nullptr, "Numpad1", true},
    {0x62, "2", nullptr, "Numpad2", true},
    {0x63, "3", nullptr, "Numpad3", true},
    {0x64, "4", nullptr, "Numpad4", true},
    {0x65, "5", nullptr, "Numpad5", true},
    {0x66, "6", nullptr, "Numpad6", true},
    {0x67, "7", nullptr, "Numpad7", true},
    {0x68, "8", nullptr, "Numpad8", true},
    {0x69, "9", nullptr, "Numpad9", true},
    {0x6A, "*", nullptr, "NumpadMultiply", true},
    {0x6B, "+", nullptr, "NumpadAdd", true},
    {0x6C, ",", nullptr, "NumpadComma", true},
    {0x6D, "-", nullptr, "NumpadSubtract", true},
    {0x6E, ".", nullptr, "NumpadDecimal", true},
    {0x6F, "/", nullptr, "NumpadDivide", true},
    {0x90, "NumLock", nullptr, "NumLock", false},
    {0x91, "ScrollLock", nullptr, "ScrollLock", false},
    {0xBA, ";", ":", "Semicolon", true},
    {0xBB, "=", "+", "Equal", true},
    {0xBC, ",", "<", "Comma", true},
    {0xBD, "-", "_", "Minus", true},
    {0xBE, ".", ">", "Period", true},
    {0xBF, "/", "?", "Slash", true},
    {0xC0, "`", "~", "Backquote", true},
    {0xDB, "[", "{", "BracketLeft", true},
    {0xDC, "\\", "|", "Backslash", true},
    {0xDD, "]", "}", "BracketRight", true},
    {0xDE, "'", "\"", "Quote", true},
    {0xE2, "\\", "|", "IntlBackslash", true},
};

// Codes of the navigation keys when they come from the keypad (num lock
// off: the keypad's 0..9 and . send these virtual keys).
const char* KeypadNavigationCode(int vk) {
  switch (vk) {
    case 0x2D: return "Numpad0";
    case 0x23: return "Numpad1";
    case 0x28: return "Numpad2";
    case 0x22: return "Numpad3";
    case 0x25: return "Numpad4";
    case 0x0C: return "Numpad5";
    case 0x27: return "Numpad6";
    case 0x24: return "Numpad7";
    case 0x26: return "Numpad8";
    case 0x21: return "Numpad9";
    case 0x2E: return "NumpadDecimal";
    case 0x0D: return "NumpadEnter";
    default: return nullptr;
  }
}

std::u16string Ascii16(const char* s) {
  std::u16string out;
  for (; *s; ++s) out += static_cast<char16_t>(static_cast<unsigned char>(*s));
  return out;
}

}  // namespace

DomKey DomKeyForVirtualKey(int vk, uint32_t modifiers) {
  DomKey out;
  const bool shift = modifiers & EVENTFLAG_SHIFT_DOWN;
  const bool caps = modifiers & EVENTFLAG_CAPS_LOCK_ON;
  const bool keypad = modifiers & EVENTFLAG_IS_KEY_PAD;
  const int side = (modifiers & EVENTFLAG_IS_RIGHT) ? 2 : 1;

  if (vk >= 'A' && vk <= 'Z') {
    char c = static_cast<char>(shift != caps ? vk : vk - 'A' + 'a');
    out.key = std::string(1, c);
    out.code = std::string("Key") + static_cast<char>(vk);
    out.text = std::u16string(1, static_cast<char16_t>(c));
    return out;
  }
  if (vk >= 0x70 && vk <= 0x87) {  // F1..F24
    out.key = out.code = "F" + std::to_string(vk - 0x70 + 1);
    return out;
  }
  switch (vk) {
    case 0x10: case 0xA0: case 0xA1:
      out.key = "Shift";
      out.location = vk == 0xA1 ? 2 : vk == 0xA0 ? 1 : side;
      out.code = out.location == 2 ? "ShiftRight" : "ShiftLeft";
      return out;
    case 0x11: case 0xA2: case 0xA3:
      out.key = "Control";
      out.location = vk == 0xA3 ? 2 : vk == 0xA2 ? 1 : side;
      out.code = out.location == 2 ? "ControlRight" : "ControlLeft";
      return out;
    case 0x12: case 0xA4: case 0xA5:
      out.key = "Alt";
      out.location = vk == 0xA5 ? 2 : vk == 0xA4 ? 1 : side;
      out.code = out.location == 2 ? "AltRight" : "AltLeft";
      return out;
    case 0x5B: case 0x5C:
      out.key = "Meta";
      out.location = vk == 0x5C ? 2 : 1;
      out.code = vk == 0x5C ? "MetaRight" : "MetaLeft";
      return out;
    default:
      break;
  }
  for (const Entry& e : kKeys) {
    if (e.vk != vk) continue;
    out.key = shift && e.shifted ? e.shifted : e.key;
    out.code = e.code;
    if (e.types) out.text = Ascii16(out.key.c_str());
    if (vk == 0x0D) out.text.assign(1, u'\r');
    if (vk >= 0x60 && vk <= 0x6F) out.location = 3;
    if (keypad) {
      if (const char* code = KeypadNavigationCode(vk)) {
        out.code = code;
        out.location = 3;
      }
    }
    return out;
  }
  out.key = "Unidentified";
  return out;
}

int DevToolsModifiers(uint32_t flags) {
  int m = 0;
  if (flags & EVENTFLAG_ALT_DOWN) m |= 1;
  if (flags & EVENTFLAG_CONTROL_DOWN) m |= 2;
  if (flags & EVENTFLAG_COMMAND_DOWN) m |= 4;
  if (flags & EVENTFLAG_SHIFT_DOWN) m |= 8;
  return m;
}

}  // namespace cef_engine
