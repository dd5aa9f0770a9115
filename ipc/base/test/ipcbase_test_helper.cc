// A child process for the multi-process tests. Usage:
//   ipcbase_test_helper log <tag> <count>   logs <count> INFO lines tagged <tag>
#include <cstdlib>
#include <cstring>

#include "ipc/base/logging.h"

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "log") == 0) {
    int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) LOG(INFO) << argv[2] << " line " << i << " end";
    return 0;
  }
  return 2;
}
