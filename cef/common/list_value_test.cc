#include "cef/include/cef_values.h"

#include <gtest/gtest.h>

#include "cef/include/cef_process_message.h"

namespace {

TEST(ListValueTest, SettingPastTheEndGrowsWithNulls) {
  CefRefPtr<CefListValue> list = CefListValue::Create();
  EXPECT_EQ(list->GetSize(), 0u);
  EXPECT_TRUE(list->SetString(2, "name"));
  EXPECT_TRUE(list->SetBool(3, true));
  ASSERT_EQ(list->GetSize(), 4u);
  EXPECT_EQ(list->GetType(0), VTYPE_NULL);
  EXPECT_EQ(list->GetType(2), VTYPE_STRING);
  EXPECT_EQ(list->GetType(3), VTYPE_BOOL);
  EXPECT_EQ(list->GetType(4), VTYPE_INVALID);
  EXPECT_EQ(list->GetString(2).ToString(), "name");
  EXPECT_TRUE(list->GetBool(3));
}

TEST(ListValueTest, WrongTypeGettersGiveDefaults) {
  CefRefPtr<CefListValue> list = CefListValue::Create();
  list->SetInt(0, 7);
  list->SetDouble(1, 2.5);
  EXPECT_EQ(list->GetInt(0), 7);
  EXPECT_EQ(list->GetDouble(0), 7.0);
  EXPECT_EQ(list->GetDouble(1), 2.5);
  EXPECT_FALSE(list->GetBool(0));
  EXPECT_EQ(list->GetString(0).ToString(), "");
  EXPECT_EQ(list->GetInt(9), 0);
}

TEST(ListValueTest, CopyIsDeepAndRemoveShifts) {
  CefRefPtr<CefListValue> list = CefListValue::Create();
  list->SetString(0, "a");
  list->SetString(1, "b");
  CefRefPtr<CefListValue> copy = list->Copy();
  EXPECT_TRUE(list->Remove(0));
  EXPECT_EQ(list->GetString(0).ToString(), "b");
  EXPECT_EQ(copy->GetSize(), 2u);
  EXPECT_EQ(copy->GetString(0).ToString(), "a");
  EXPECT_FALSE(list->Remove(5));
  EXPECT_TRUE(list->SetSize(0));
  EXPECT_EQ(list->GetSize(), 0u);
}

TEST(ProcessMessageTest, CarriesNameAndItsOwnList) {
  CefRefPtr<CefProcessMessage> m = CefProcessMessage::Create("Focus");
  m->GetArgumentList()->SetString(0, "x");
  EXPECT_EQ(m->GetName().ToString(), "Focus");
  EXPECT_EQ(m->GetArgumentList()->GetString(0).ToString(), "x");
  CefRefPtr<CefProcessMessage> copy = m->Copy();
  m->GetArgumentList()->SetString(0, "y");
  EXPECT_EQ(copy->GetArgumentList()->GetString(0).ToString(), "x");
}

}  // namespace
