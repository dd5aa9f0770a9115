// Test support: real child processes for the multi-process tests.
#ifndef IPC_BASE_TEST_CHILD_PROCESS_H_
#define IPC_BASE_TEST_CHILD_PROCESS_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ipcbase::test {

class ChildProcess {
 public:
  // Starts program with the arguments (argv[0] is the program) in the
  // working directory cwd. Null when it cannot be started.
  static std::unique_ptr<ChildProcess> Start(const std::filesystem::path& program,
                                             const std::vector<std::string>& args,
                                             const std::filesystem::path& cwd);
  virtual ~ChildProcess() = default;  // kills and reaps a child still running

  virtual uint32_t pid() const = 0;
  // Waits up to timeout_ms for the child to exit; its exit code, or -1 when
  // it did not exit in time (or died by a signal).
  virtual int WaitForExit(int64_t timeout_ms) = 0;
};

}  // namespace ipcbase::test

#endif  // IPC_BASE_TEST_CHILD_PROCESS_H_
