#include "ipc/base/platform/shared_memory.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/posix_error.h"
#include "ipc/base/utf_string_conversions.h"

// A named object is a POSIX shared-memory object "/" + the UTF-8 name. Where
// Windows and this stand-in differ: a file mapping lives while any handle or
// view is open, a POSIX object until its name is unlinked, so the creator
// unlinks it when it is destroyed (views keep their memory). Touching a
// mapping past the end of a shorter object raises SIGBUS here, so Map
// checks the object's size first and fails instead.
namespace ipcbase::platform {
namespace {

// The object name for `name`, or empty when it cannot be one.
std::string ObjectName(const std::u16string& name) {
  if (name.empty()) return {};
  for (char16_t c : name) {
    if (c == u'/' || c == u'\0') return {};
  }
  std::string object = "/" + UTF16ToUTF8(name);
  if (object.size() > NAME_MAX) return {};
  return object;
}

class PosixSharedMemoryRegion final : public SharedMemoryRegion {
 public:
  PosixSharedMemoryRegion(int fd, std::u16string name, std::string object_name, bool read_only,
                          bool creator)
      : fd_(fd),
        name_(std::move(name)),
        object_name_(std::move(object_name)),
        read_only_(read_only),
        creator_(creator) {
    if (creator_) {
      struct stat st;
      if (fstat(fd_, &st) == 0) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
      }
    }
  }

  ~PosixSharedMemoryRegion() override {
    Unmap();
    if (creator_) RemoveNameIfOurs();
    close(fd_);
  }

  bool Map(size_t size) override {
    if (memory_ != nullptr || size == 0) {
      SetLastError(kErrorInvalidParameter);
      return false;
    }
    struct stat st;
    if (fstat(fd_, &st) != 0) return FailWithErrno();
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) < size) {
      SetLastError(kErrorAccessDenied);
      return false;
    }
    const int protection = read_only_ ? PROT_READ : PROT_READ | PROT_WRITE;
    void* memory = mmap(nullptr, size, protection, MAP_SHARED, fd_, 0);
    if (memory == MAP_FAILED) return FailWithErrno();
    memory_ = memory;
    mapped_size_ = size;
    return true;
  }

  void Unmap() override {
    if (memory_ == nullptr) return;
    munmap(memory_, mapped_size_);
    memory_ = nullptr;
    mapped_size_ = 0;
  }

  void* memory() const override { return memory_; }
  size_t mapped_size() const override { return mapped_size_; }
  const std::u16string& name() const override { return name_; }
  bool read_only() const override { return read_only_; }

 private:
  // Unlinks the name only while it still names the object this creator made.
  void RemoveNameIfOurs() {
    int fd = shm_open(object_name_.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return;
    struct stat st;
    const bool ours = fstat(fd, &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
    close(fd);
    if (ours) shm_unlink(object_name_.c_str());
  }

  const int fd_;
  const std::u16string name_;
  const std::string object_name_;
  const bool read_only_;
  const bool creator_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  void* memory_ = nullptr;
  size_t mapped_size_ = 0;
};

}  // namespace

std::unique_ptr<SharedMemoryRegion> SharedMemoryRegion::Create(const std::u16string& name,
                                                               size_t size) {
  const std::string object = ObjectName(name);
  if (object.empty() || size == 0 || size > static_cast<size_t>(LLONG_MAX)) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    FailWithErrno();
    return nullptr;
  }
  int r;
  do {
    r = ftruncate(fd, static_cast<off_t>(size));
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    const int error = errno;
    shm_unlink(object.c_str());
    close(fd);
    FailWithErrno(error);
    return nullptr;
  }
  auto region = std::make_unique<PosixSharedMemoryRegion>(fd, name, object, false, true);
  if (!region->Map(size)) return nullptr;  // last error set; the name goes with it
  return region;
}

std::unique_ptr<SharedMemoryRegion> SharedMemoryRegion::Open(const std::u16string& name,
                                                             bool read_only) {
  const std::string object = ObjectName(name);
  if (object.empty()) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  int fd = shm_open(object.c_str(), (read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC, 0);
  if (fd < 0) {
    FailWithErrno();
    return nullptr;
  }
  return std::make_unique<PosixSharedMemoryRegion>(fd, name, object, read_only, false);
}

}  // namespace ipcbase::platform
