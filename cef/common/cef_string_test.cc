#include "cef/include/internal/cef_string.h"

#include <gtest/gtest.h>

#include "cef/include/internal/cef_types_wrappers.h"

namespace {

TEST(CefStringTest, ConvertsBetweenUtf8AndUtf16) {
  struct Case {
    const char* utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"abc", u"abc"},
      {"gr\xC3\xBC\xC3\x9F", u"gr\u00FC\u00DF"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
  };
  for (const Case& c : cases) {
    CefString from8(c.utf8);
    EXPECT_EQ(from8.ToString16(), c.utf16) << c.utf8;
    CefString from16(c.utf16);
    EXPECT_EQ(from16.ToString(), c.utf8);
    EXPECT_EQ(from16.length(), c.utf16.size());
    EXPECT_EQ(from8, from16);
  }
}

TEST(CefStringTest, InvalidUtf8BecomesReplacementCharacter) {
  CefString s(std::string("a\xFF" "b"));
  EXPECT_EQ(s.ToString16(), u"a\uFFFDb");
}

TEST(CefStringTest, NullAndEmptyGiveEmptyText) {
  CefString a(static_cast<const char*>(nullptr));
  CefString b(static_cast<const char16*>(nullptr));
  CefString c;
  for (const CefString* s : {&a, &b, &c}) {
    EXPECT_TRUE(s->empty());
    ASSERT_NE(s->c_str(), nullptr);
    EXPECT_EQ(s->c_str()[0], 0);
  }
}

TEST(CefStringTest, AttachedStringWritesIntoTheRecord) {
  CefSettings settings;
  CefString(&settings.cache_path) = "C:/home dir";
  ASSERT_NE(settings.cache_path.str, nullptr);
  EXPECT_EQ(std::u16string(settings.cache_path.str, settings.cache_path.length),
            u"C:/home dir");
  EXPECT_EQ(CefString(&settings.cache_path).ToString(), "C:/home dir");
  // Assigning from the record's own text keeps it intact.
  CefString attached(&settings.cache_path);
  attached = CefString(&settings.cache_path);
  EXPECT_EQ(attached.ToString(), "C:/home dir");
  attached.clear();
  EXPECT_EQ(settings.cache_path.str, nullptr);
  EXPECT_EQ(settings.cache_path.length, 0u);
}

TEST(CefStringTest, CopiesAreIndependent) {
  CefString a("one");
  CefString b = a;
  b = "two";
  EXPECT_EQ(a.ToString(), "one");
  EXPECT_EQ(b.ToString(), "two");
  CefString c = std::move(b);
  EXPECT_EQ(c.ToString(), "two");
  EXPECT_TRUE(a < c);
  EXPECT_NE(a, c);
  std::string implicit = c;
  std::u16string implicit16 = c;
  EXPECT_EQ(implicit, "two");
  EXPECT_EQ(implicit16, u"two");
}

TEST(CefStringTest, NonCopyingSetPointsAtTheSource) {
  static const char16 kText[] = u"static";
  cef_string_t s = {nullptr, 0, nullptr};
  cef_string_utf16_set(kText, 6, &s, 0);
  EXPECT_EQ(s.str, kText);
  EXPECT_EQ(s.dtor, nullptr);
  cef_string_utf16_clear(&s);
  EXPECT_EQ(s.str, nullptr);
}

}  // namespace
