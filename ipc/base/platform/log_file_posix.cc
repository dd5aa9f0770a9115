#include "ipc/base/platform/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/posix_error.h"
#include "ipc/base/utf_string_conversions.h"

namespace ipcbase::platform {
namespace {

constexpr std::u16string_view kGlobalPrefix = u"Global\\";

// flock excludes other open file descriptions (other processes); the
// in-process mutex excludes the other threads, which share this one.
class FlockMutex final : public SystemMutex {
 public:
  explicit FlockMutex(int fd) : fd_(fd) {}
  ~FlockMutex() override { close(fd_); }
  void Acquire() override {
    thread_lock_.lock();
    while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  void Release() override {
    flock(fd_, LOCK_UN);
    thread_lock_.unlock();
  }

 private:
  int fd_;
  std::mutex thread_lock_;
};

class PosixAppendFile final : public AppendFile {
 public:
  explicit PosixAppendFile(int fd) : fd_(fd) {}
  ~PosixAppendFile() override { close(fd_); }
  bool Append(std::string_view bytes) override {
    // O_APPEND moves to the end and writes in one step.
    while (!bytes.empty()) {
      ssize_t n = write(fd_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return FailWithErrno();
      }
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<SystemMutex> SystemMutex::Create(const std::u16string& name) {
  if (name.size() <= kGlobalPrefix.size() || name.compare(0, kGlobalPrefix.size(), kGlobalPrefix) != 0) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  std::string path = UTF16ToUTF8(std::u16string_view(name).substr(kGlobalPrefix.size()));
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    FailWithErrno();
    return nullptr;
  }
  return std::make_unique<FlockMutex>(fd);
}

std::unique_ptr<AppendFile> AppendFile::Open(const std::filesystem::path& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    FailWithErrno();
    return nullptr;
  }
  return std::make_unique<PosixAppendFile>(fd);
}

void WriteToStandardError(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

bool IsDebuggerPresent() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
  }
  return false;
}

}  // namespace ipcbase::platform
