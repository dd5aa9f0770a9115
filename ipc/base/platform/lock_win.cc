#include "ipc/base/platform/lock.h"

#include "ipc/base/platform/windows_win.h"

#include <new>

namespace ipcbase::platform {
namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "CRITICAL_SECTION must fit PlatformLock's storage");
static_assert(alignof(CRITICAL_SECTION) <= 16, "CRITICAL_SECTION must fit PlatformLock's storage");

// Short waits spin this many times before the thread sleeps in the kernel.
constexpr DWORD kSpinCount = 2000;

}  // namespace

PlatformLock::PlatformLock() {
  // Cannot fail on any Windows this program runs on (the call has not
  // allocated since Vista).
  ::InitializeCriticalSectionAndSpinCount(new (storage_) CRITICAL_SECTION, kSpinCount);
}

PlatformLock::~PlatformLock() {
  ::DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

void PlatformLock::Acquire() {
  ::EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

void PlatformLock::Release() {
  ::LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

bool PlatformLock::Try() {
  auto* section = reinterpret_cast<CRITICAL_SECTION*>(storage_);
  // A critical section would let its owner in again; this lock is not
  // recursive, so the owner's Try fails as it does everywhere else. Only the
  // owner itself can have stored its own id here, so the unlocked read is
  // exact for this comparison.
  HANDLE self = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(::GetCurrentThreadId()));
  if (*static_cast<HANDLE volatile*>(&section->OwningThread) == self) return false;
  return ::TryEnterCriticalSection(section) != FALSE;
}

}  // namespace ipcbase::platform
