#include "cef/include/internal/cef_types_wrappers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(TypesWrappersTest, SettingsStartZeroedWithTheirSize) {
  CefSettings settings;
  EXPECT_EQ(settings.size, sizeof(cef_settings_t));
  EXPECT_EQ(sizeof(cef_settings_t), 288u);
  EXPECT_EQ(settings.no_sandbox, 0);
  EXPECT_EQ(settings.cache_path.str, nullptr);
  EXPECT_EQ(settings.log_severity, LOGSEVERITY_DEFAULT);

  CefBrowserSettings browser_settings;
  EXPECT_EQ(browser_settings.size, sizeof(cef_browser_settings_t));
  EXPECT_EQ(browser_settings.file_access_from_file_urls, STATE_DEFAULT);
}

TEST(TypesWrappersTest, CopiesOwnTheirStrings) {
  CefSettings a;
  CefString(&a.cache_path) = "/tmp/a";
  CefString(&a.user_agent) = "agent";
  a.log_severity = LOGSEVERITY_DISABLE;
  CefSettings b = a;
  EXPECT_NE(b.cache_path.str, a.cache_path.str);
  EXPECT_EQ(CefString(&b.cache_path).ToString(), "/tmp/a");
  EXPECT_EQ(CefString(&b.user_agent).ToString(), "agent");
  EXPECT_EQ(b.log_severity, LOGSEVERITY_DISABLE);
  CefString(&a.cache_path) = "/tmp/changed";
  EXPECT_EQ(CefString(&b.cache_path).ToString(), "/tmp/a");
  b = a;
  EXPECT_EQ(CefString(&b.cache_path).ToString(), "/tmp/changed");

  CefWindowInfo w;
  w.SetAsWindowless(0, true);
  CefString(&w.window_name) = "view";
  CefWindowInfo w2(w);
  EXPECT_EQ(w2.windowless_rendering_enabled, 1);
  EXPECT_EQ(w2.transparent_painting_enabled, 1);
  EXPECT_EQ(CefString(&w2.window_name).ToString(), "view");
}

TEST(TypesWrappersTest, EventFlagValues) {
  // The flags are part of the contract with the host's input translation.
  EXPECT_EQ(EVENTFLAG_CAPS_LOCK_ON, 1);
  EXPECT_EQ(EVENTFLAG_SHIFT_DOWN, 2);
  EXPECT_EQ(EVENTFLAG_CONTROL_DOWN, 4);
  EXPECT_EQ(EVENTFLAG_ALT_DOWN, 8);
  EXPECT_EQ(EVENTFLAG_LEFT_MOUSE_BUTTON, 16);
  EXPECT_EQ(EVENTFLAG_MIDDLE_MOUSE_BUTTON, 32);
  EXPECT_EQ(EVENTFLAG_RIGHT_MOUSE_BUTTON, 64);
  EXPECT_EQ(EVENTFLAG_NUM_LOCK_ON, 256);
  EXPECT_EQ(EVENTFLAG_IS_KEY_PAD, 512);
  EXPECT_EQ(EVENTFLAG_IS_LEFT, 1024);
  EXPECT_EQ(EVENTFLAG_IS_RIGHT, 2048);
  EXPECT_EQ(LOGSEVERITY_DISABLE, 99);
}

TEST(TypesWrappersTest, RectHelpers) {
  CefRect r(1, 2, 3, 4);
  EXPECT_FALSE(r.IsEmpty());
  EXPECT_TRUE(r.Contains(1, 2));
  EXPECT_FALSE(r.Contains(4, 2));
  EXPECT_TRUE(CefRect().IsEmpty());
  EXPECT_EQ(r, CefRect(1, 2, 3, 4));
}

}  // namespace
