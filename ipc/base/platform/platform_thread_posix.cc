#include "ipc/base/platform/platform_thread.h"

#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "ipc/base/logging.h"
#include "ipc/base/platform/error.h"
#include "ipc/base/platform/posix_error.h"

namespace ipcbase {
namespace {

// What a Handle points to.
struct ThreadRecord {
  pthread_t thread;
};

void* ThreadEntry(void* param) {
  static_cast<PlatformThread::Delegate*>(param)->ThreadMain();
  return nullptr;
}

// Linux limits thread names to 15 bytes plus the terminator.
constexpr size_t kMaxNameBytes = 15;

}  // namespace

bool PlatformThread::Create(size_t stack_size, Delegate* delegate, Handle* handle) {
  if (delegate == nullptr || handle == nullptr) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return false;
  }
  pthread_attr_t attr;
  int rc = pthread_attr_init(&attr);
  if (rc != 0) return platform::FailWithErrno(rc);
  if (stack_size != 0) {
    const size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
    if (stack_size < minimum) stack_size = minimum;
    rc = pthread_attr_setstacksize(&attr, stack_size);
    if (rc != 0) {
      pthread_attr_destroy(&attr);
      return platform::FailWithErrno(rc);
    }
  }
  auto* record = new (std::nothrow) ThreadRecord;
  if (record == nullptr) {
    pthread_attr_destroy(&attr);
    platform::SetLastError(platform::kErrorNotEnoughMemory);
    return false;
  }
  rc = pthread_create(&record->thread, &attr, &ThreadEntry, delegate);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete record;
    return platform::FailWithErrno(rc);
  }
  *handle = record;
  return true;
}

void PlatformThread::Join(Handle handle) {
  if (handle == nullptr) {
    LOG(ERROR) << "PlatformThread::Join without a thread handle";
    return;
  }
  auto* record = static_cast<ThreadRecord*>(handle);
  int rc = pthread_join(record->thread, nullptr);
  if (rc != 0) LOG(ERROR) << "pthread_join failed: " << std::strerror(rc);
  delete record;
}

uint32_t PlatformThread::CurrentId() { return static_cast<uint32_t>(gettid()); }

void PlatformThread::YieldCurrentThread() { sched_yield(); }

void PlatformThread::SetName(const char* name) {
  if (name == nullptr) return;
  size_t length = std::strlen(name);
  if (length > kMaxNameBytes) {
    length = kMaxNameBytes;
    // Do not cut a UTF-8 sequence in half.
    while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) --length;
  }
  char cut[kMaxNameBytes + 1];
  std::memcpy(cut, name, length);
  cut[length] = '\0';
  pthread_setname_np(pthread_self(), cut);
}

}  // namespace ipcbase
