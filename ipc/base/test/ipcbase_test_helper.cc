// A child process for the multi-process tests. Usage:
//   ipcbase_test_helper log <tag> <count>   logs <count> INFO lines tagged <tag>
//   ipcbase_test_helper wait-stdin          exits 0 once its standard input ends
//   ipcbase_test_helper pipe-echo <name>    connects to the pipe <name> (UTF-8)
//                                           as its client and echoes every byte
//                                           back until the server closes; exits
//                                           0, or 3 when it cannot connect
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ipc/base/logging.h"
#include "ipc/base/platform/io_handle.h"
#include "ipc/base/platform/pipe.h"
#include "ipc/base/utf_string_conversions.h"

namespace {

int PipeEcho(const char* name) {
  using namespace ipcbase::platform;
  IoHandle pipe = ConnectToPipe(ipcbase::UTF8ToUTF16(name));
  if (pipe == kInvalidIoHandle) return 3;
  char buffer[4096];
  for (;;) {
    int64_t n = ReadSome(pipe, buffer, sizeof(buffer), -1);
    if (n <= 0) break;
    if (!WriteAll(pipe, buffer, static_cast<size_t>(n))) break;
  }
  CloseIoHandle(pipe);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "log") == 0) {
    int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) LOG(INFO) << argv[2] << " line " << i << " end";
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "wait-stdin") == 0) {
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "pipe-echo") == 0) return PipeEcho(argv[2]);
  return 2;
}
