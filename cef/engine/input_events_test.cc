#include "cef/engine/input_events.h"

#include <gtest/gtest.h>

#include "cef/engine/key_codes.h"

namespace cef_engine {
namespace {

TEST(KeyCodesTest, VirtualKeysGiveDomKeyCodeAndLocation) {
  struct Case {
    int vk;
    uint32_t flags;
    const char* key;
    const char* code;
    int location;
    std::u16string text;
  } cases[] = {
      {'A', 0, "a", "KeyA", 0, u"a"},
      {'A', EVENTFLAG_SHIFT_DOWN, "A", "KeyA", 0, u"A"},
      {'A', EVENTFLAG_CAPS_LOCK_ON, "A", "KeyA", 0, u"A"},
      {'A', EVENTFLAG_CAPS_LOCK_ON | EVENTFLAG_SHIFT_DOWN, "a", "KeyA", 0, u"a"},
      {'1', 0, "1", "Digit1", 0, u"1"},
      {'1', EVENTFLAG_SHIFT_DOWN, "!", "Digit1", 0, u"!"},
      {0x0D, 0, "Enter", "Enter", 0, u"\r"},
      {0x0D, EVENTFLAG_IS_KEY_PAD, "Enter", "NumpadEnter", 3, u"\r"},
      {0x08, 0, "Backspace", "Backspace", 0, u""},
      {0x09, 0, "Tab", "Tab", 0, u""},
      {0x2E, 0, "Delete", "Delete", 0, u""},
      {0x24, 0, "Home", "Home", 0, u""},
      {0x26, 0, "ArrowUp", "ArrowUp", 0, u""},
      {0x26, EVENTFLAG_IS_KEY_PAD, "ArrowUp", "Numpad8", 3, u""},
      {0x61, EVENTFLAG_IS_KEY_PAD, "1", "Numpad1", 3, u"1"},
      {0x6B, EVENTFLAG_IS_KEY_PAD, "+", "NumpadAdd", 3, u"+"},
      {0x10, EVENTFLAG_IS_LEFT, "Shift", "ShiftLeft", 1, u""},
      {0x10, EVENTFLAG_IS_RIGHT, "Shift", "ShiftRight", 2, u""},
      {0x11, EVENTFLAG_IS_RIGHT, "Control", "ControlRight", 2, u""},
      {0x12, EVENTFLAG_IS_LEFT, "Alt", "AltLeft", 1, u""},
      {0x5B, 0, "Meta", "MetaLeft", 1, u""},
      {0x70, 0, "F1", "F1", 0, u""},
      {0x7B, 0, "F12", "F12", 0, u""},
      {0xBA, EVENTFLAG_SHIFT_DOWN, ":", "Semicolon", 0, u":"},
      {0xDE, 0, "'", "Quote", 0, u"'"},
      {0x20, 0, " ", "Space", 0, u" "},
      {0xFF, 0, "Unidentified", "", 0, u""},
  };
  for (const Case& c : cases) {
    DomKey dom = DomKeyForVirtualKey(c.vk, c.flags);
    EXPECT_EQ(dom.key, c.key) << "vk " << c.vk;
    EXPECT_EQ(dom.code, c.code) << "vk " << c.vk;
    EXPECT_EQ(dom.location, c.location) << "vk " << c.vk;
    EXPECT_EQ(dom.text, c.text) << "vk " << c.vk;
  }
}

TEST(KeyCodesTest, ModifierBits) {
  EXPECT_EQ(DevToolsModifiers(0), 0);
  EXPECT_EQ(DevToolsModifiers(EVENTFLAG_ALT_DOWN), 1);
  EXPECT_EQ(DevToolsModifiers(EVENTFLAG_CONTROL_DOWN), 2);
  EXPECT_EQ(DevToolsModifiers(EVENTFLAG_COMMAND_DOWN), 4);
  EXPECT_EQ(DevToolsModifiers(EVENTFLAG_SHIFT_DOWN), 8);
  EXPECT_EQ(DevToolsModifiers(EVENTFLAG_SHIFT_DOWN | EVENTFLAG_CONTROL_DOWN |
                              EVENTFLAG_LEFT_MOUSE_BUTTON | EVENTFLAG_NUM_LOCK_ON),
            10);
}

TEST(InputEventsTest, CharacterEventsCarryTheCharacter) {
  CefKeyEvent e;
  e.type = KEYEVENT_CHAR;
  e.windows_key_code = 0x61;  // WM_CHAR 'a' with character left 0
  Json p = KeyEventParams(e);
  EXPECT_EQ(p["type"], "char");
  EXPECT_EQ(p["text"], "a");
  EXPECT_EQ(p["windowsVirtualKeyCode"], 0x61);
  e.character = 0x00E9;  // é
  e.windows_key_code = 0xE9;
  e.modifiers = EVENTFLAG_SHIFT_DOWN;
  p = KeyEventParams(e);
  EXPECT_EQ(p["text"], "\xC3\xA9");
  EXPECT_EQ(p["modifiers"], 8);
}

TEST(InputEventsTest, KeyDownAndUpCarryKeyCodeAndFlags) {
  CefKeyEvent e;
  e.type = KEYEVENT_RAWKEYDOWN;
  e.windows_key_code = 0x0D;
  e.native_key_code = 0x011C0001 | (1 << 30);  // repeat bit set
  e.modifiers = EVENTFLAG_IS_KEY_PAD;
  e.is_system_key = 1;
  Json p = KeyEventParams(e);
  EXPECT_EQ(p["type"], "rawKeyDown");
  EXPECT_EQ(p["key"], "Enter");
  EXPECT_EQ(p["code"], "NumpadEnter");
  EXPECT_EQ(p["location"], 3);
  EXPECT_EQ(p["isKeypad"], true);
  EXPECT_EQ(p["autoRepeat"], true);
  EXPECT_EQ(p["isSystemKey"], true);
  EXPECT_FALSE(p.contains("text"));  // the WM_CHAR that follows types it

  e.type = KEYEVENT_KEYUP;
  p = KeyEventParams(e);
  EXPECT_EQ(p["type"], "keyUp");
  EXPECT_FALSE(p.contains("autoRepeat"));

  CefKeyEvent down;
  down.type = KEYEVENT_KEYDOWN;
  down.windows_key_code = 'B';
  down.modifiers = EVENTFLAG_SHIFT_DOWN;
  p = KeyEventParams(down);
  EXPECT_EQ(p["type"], "keyDown");
  EXPECT_EQ(p["text"], "B");
  down.modifiers = EVENTFLAG_CONTROL_DOWN;
  p = KeyEventParams(down);
  EXPECT_FALSE(p.contains("text"));  // shortcuts type nothing
}

TEST(InputEventsTest, MouseCoordinatesAreInWindowPixels) {
  CefMouseEvent e;
  e.x = 144;
  e.y = -72;
  e.modifiers = EVENTFLAG_LEFT_MOUSE_BUTTON | EVENTFLAG_SHIFT_DOWN;
  Json p = MouseEventParams("mousePressed", e, 2, "left", ButtonsFromFlags(e.modifiers), 2);
  EXPECT_DOUBLE_EQ(p["x"].get<double>(), 288.0);
  EXPECT_DOUBLE_EQ(p["y"].get<double>(), -144.0);
  EXPECT_EQ(p["button"], "left");
  EXPECT_EQ(p["buttons"], kLeftButtonBit);
  EXPECT_EQ(p["clickCount"], 2);
  EXPECT_EQ(p["modifiers"], 8);
  p = MouseEventParams("mouseMoved", e, 0, "none", 0, 0);
  EXPECT_DOUBLE_EQ(p["x"].get<double>(), 144.0);
  EXPECT_FALSE(p.contains("clickCount"));
  EXPECT_EQ(ButtonsFromFlags(EVENTFLAG_RIGHT_MOUSE_BUTTON | EVENTFLAG_MIDDLE_MOUSE_BUTTON),
            kRightButtonBit | kMiddleButtonBit);
}

}  // namespace
}  // namespace cef_engine
