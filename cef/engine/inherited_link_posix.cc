#include "cef/engine/inherited_link.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cef_engine {
namespace {

constexpr int kReadFd = 3;
constexpr int kWriteFd = 4;

bool IsPipe(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode);
}

}  // namespace

std::unique_ptr<InheritedLink> InheritedLink::Open() {
  if (!IsPipe(kReadFd) || !IsPipe(kWriteFd)) return nullptr;
  // Children this process starts must not hold the link open.
  fcntl(kReadFd, F_SETFD, FD_CLOEXEC);
  fcntl(kWriteFd, F_SETFD, FD_CLOEXEC);
  return std::unique_ptr<InheritedLink>(new InheritedLink(kReadFd, kWriteFd));
}

InheritedLink::~InheritedLink() {
  close(read_fd_);
  close(write_fd_);
}

bool InheritedLink::Write(const char* data, size_t size) {
  return WriteToPipe(write_fd_, data, size);
}

long InheritedLink::Read(char* buffer, size_t size) {
  for (;;) {
    ssize_t n = read(read_fd_, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

}  // namespace cef_engine
