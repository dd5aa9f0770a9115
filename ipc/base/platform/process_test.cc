#include "ipc/base/platform/process.h"

#include <gtest/gtest.h>

namespace ipcbase::platform {
namespace {

TEST(ProcessTest, TheRunningProcessHasNotExited) {
  std::unique_ptr<ProcessWatch> watch = ProcessWatch::Open(CurrentProcessId());
  ASSERT_NE(watch, nullptr);
  EXPECT_FALSE(watch->HasExited());
  EXPECT_FALSE(watch->HasExited());
}

TEST(ProcessTest, ExecutablePathNamesThisTestProgram) {
  std::filesystem::path path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(path.is_absolute());
  EXPECT_NE(path.filename().string().find("ipcbase_platform_tests"), std::string::npos);
}

TEST(ProcessTest, IdZeroIsNoProcess) { EXPECT_EQ(ProcessWatch::Open(0), nullptr); }

}  // namespace
}  // namespace ipcbase::platform
