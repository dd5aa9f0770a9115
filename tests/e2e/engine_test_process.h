// Process checks for tests with the real engine: that an engine's process
// group has gone and that this process has no children left.
#ifndef TESTS_E2E_ENGINE_TEST_PROCESS_H_
#define TESTS_E2E_ENGINE_TEST_PROCESS_H_

#include <errno.h>
#include <signal.h>
#include <sys/types.h>

#include <filesystem>
#include <fstream>

namespace vemo_e2e {

inline bool GroupGone(pid_t pgid) { return pgid > 0 && kill(-pgid, 0) != 0 && errno == ESRCH; }

// Children of this process (every thread's), from /proc.
inline int ChildCount() {
  int count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(task.path() / "children");
    int pid;
    while (in >> pid) ++count;
  }
  return count;
}

}  // namespace vemo_e2e

#endif  // TESTS_E2E_ENGINE_TEST_PROCESS_H_
