#include "cef/engine/page_events.h"

#include <gtest/gtest.h>

#include "cef/engine/net_errors.h"

namespace cef_engine {
namespace {

Json Str(const char* s) { return {{"type", "string"}, {"value", s}}; }

TEST(PageEventsTest, ConsoleArgumentsAreFormatted) {
  struct Case {
    Json args;
    const char* text;
  } cases[] = {
      {Json::array({Str("plain")}), "plain"},
      {Json::array({Str("a"), Str("b")}), "a b"},
      {Json::array({Str("n=%d, s=%s"), {{"type", "number"}, {"value", 42.7}}, Str("x")}),
       "n=42, s=x"},
      {Json::array({Str("%c styled"), Str("color: red")}), " styled"},
      {Json::array({Str("100%% %s"), Str("sure")}), "100% sure"},
      {Json::array({Str("%s"), }), "%s"},
      {Json::array({{{"type", "number"}, {"value", 1.5}}, {{"type", "boolean"}, {"value", true}}}),
       "1.5 true"},
      {Json::array({{{"type", "undefined"}}, {{"type", "object"}, {"subtype", "null"}, {"value", nullptr}}}),
       "undefined null"},
      {Json::array({{{"type", "number"}, {"unserializableValue", "NaN"}, {"description", "NaN"}}}),
       "NaN"},
      {Json::array({{{"type", "object"}, {"className", "Object"}, {"description", "Object"}}}),
       "Object"},
      {Json::array({{{"type", "number"}, {"value", 3}}}), "3"},
      {Json::array(), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatConsoleMessage(c.args), c.text) << c.args.dump();
}

TEST(PageEventsTest, CssCursorsMapToTypes) {
  EXPECT_EQ(CursorTypeForCss("pointer"), CT_HAND);
  EXPECT_EQ(CursorTypeForCss("text"), CT_IBEAM);
  EXPECT_EQ(CursorTypeForCss("default"), CT_POINTER);
  EXPECT_EQ(CursorTypeForCss("ew-resize"), CT_EASTWESTRESIZE);
  EXPECT_EQ(CursorTypeForCss("not-allowed"), CT_NOTALLOWED);
  EXPECT_EQ(CursorTypeForCss("grabbing"), CT_GRABBING);
  EXPECT_EQ(CursorTypeForCss("no-such-cursor"), CT_POINTER);
}

TEST(PageEventsTest, OriginsOfAddresses) {
  EXPECT_EQ(OriginOf("https://example.com/a/b?c#d"), "https://example.com/");
  EXPECT_EQ(OriginOf("http://user@host:8080/x"), "http://host:8080/");
  EXPECT_EQ(OriginOf("file:///C:/pages/index.html"), "file:///");
  EXPECT_EQ(OriginOf("about:blank"), "about:blank");
  EXPECT_EQ(OriginOf("data:text/html,hi"), "data:text/html,hi");
}

TEST(NetErrorsTest, NamesMapToTheEngineNumbers) {
  struct Case {
    const char* text;
    cef_errorcode_t code;
    const char* name;
  } cases[] = {
      {"net::ERR_ABORTED", ERR_ABORTED, "ERR_ABORTED"},
      {"net::ERR_NAME_NOT_RESOLVED", ERR_NAME_NOT_RESOLVED, "ERR_NAME_NOT_RESOLVED"},
      {"net::ERR_CONNECTION_REFUSED", ERR_CONNECTION_REFUSED, "ERR_CONNECTION_REFUSED"},
      {"ERR_FILE_NOT_FOUND", ERR_FILE_NOT_FOUND, "ERR_FILE_NOT_FOUND"},
      {"net::ERR_CERT_AUTHORITY_INVALID", ERR_CERT_AUTHORITY_INVALID, "ERR_CERT_AUTHORITY_INVALID"},
      {"net::ERR_UNSAFE_PORT", ERR_UNSAFE_PORT, "ERR_UNSAFE_PORT"},
      {"net::ERR_SOMETHING_NEW", ERR_FAILED, "ERR_SOMETHING_NEW"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NetErrorCode(c.text), c.code) << c.text;
    EXPECT_EQ(NetErrorName(c.text), c.name) << c.text;
  }
  EXPECT_EQ(ERR_NAME_NOT_RESOLVED, -105);
  EXPECT_EQ(ERR_CONNECTION_REFUSED, -102);
  EXPECT_EQ(ERR_ABORTED, -3);
}

}  // namespace
}  // namespace cef_engine
