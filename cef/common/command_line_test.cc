#include "cef/common/command_line.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Argv(CefRefPtr<CefCommandLine> line) {
  std::vector<CefString> argv;
  line->GetArgv(argv);
  std::vector<std::string> out;
  for (const CefString& a : argv) out.push_back(a.ToString());
  return out;
}

TEST(CommandLineTest, ParsesSwitchesAndArguments) {
  const char* argv[] = {"/bin/prog", "--type=renderer", "-Flag", "plain",
                        "--Name=Some Value", "--", "--not-a-switch"};
  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->InitFromArgv(7, argv);
  EXPECT_EQ(line->GetProgram().ToString(), "/bin/prog");
  EXPECT_EQ(line->GetSwitchValue("type").ToString(), "renderer");
  EXPECT_EQ(line->GetSwitchValue("TYPE").ToString(), "renderer");
  EXPECT_TRUE(line->HasSwitch("flag"));
  EXPECT_EQ(line->GetSwitchValue("flag").ToString(), "");
  EXPECT_EQ(line->GetSwitchValue("name").ToString(), "Some Value");
  EXPECT_FALSE(line->HasSwitch("not-a-switch"));
  CefCommandLine::ArgumentList args;
  line->GetArguments(args);
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0].ToString(), "plain");
  EXPECT_EQ(args[1].ToString(), "--not-a-switch");
}

TEST(CommandLineTest, AppendArgumentStaysAnArgument) {
  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->SetProgram("/proc/self/exe");
  line->AppendSwitchWithValue("type", "renderer");
  line->AppendArgument("--vemo_ipc_channel_name=abc");
  line->AppendSwitch("no-sandbox");
  EXPECT_FALSE(line->HasSwitch("vemo_ipc_channel_name"));
  EXPECT_EQ(Argv(line), (std::vector<std::string>{"/proc/self/exe", "--type=renderer",
                                                  "--no-sandbox",
                                                  "--vemo_ipc_channel_name=abc"}));
}

TEST(CommandLineTest, StringRoundTripQuotesSpaces) {
  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->SetProgram("/opt/my app/prog");
  line->AppendSwitchWithValue("dir", "a \"b\"");
  CefString text = line->GetCommandLineString();
  EXPECT_EQ(text.ToString(), "\"/opt/my app/prog\" \"--dir=a \\\"b\\\"\"");
  CefRefPtr<CefCommandLine> again = CefCommandLine::CreateCommandLine();
  again->InitFromString(text);
  EXPECT_EQ(again->GetProgram().ToString(), "/opt/my app/prog");
  EXPECT_EQ(again->GetSwitchValue("dir").ToString(), "a \"b\"");
}

TEST(CommandLineTest, PrependWrapperGoesBeforeTheProgram) {
  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->SetProgram("prog");
  line->AppendSwitch("x");
  line->PrependWrapper("gdb --args");
  EXPECT_EQ(Argv(line), (std::vector<std::string>{"gdb", "--args", "prog", "--x"}));
}

TEST(CommandLineTest, GlobalCommandLineIsReadOnly) {
  const char* argv[] = {"prog", "--a=1"};
  cef_internal::InitGlobalCommandLine(2, argv);
  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();
  EXPECT_TRUE(global->IsReadOnly());
  global->AppendSwitch("b");
  EXPECT_FALSE(global->HasSwitch("b"));
  CefRefPtr<CefCommandLine> copy = global->Copy();
  copy->AppendSwitch("b");
  EXPECT_TRUE(copy->HasSwitch("b"));
  EXPECT_EQ(copy->GetSwitchValue("a").ToString(), "1");
}

}  // namespace
