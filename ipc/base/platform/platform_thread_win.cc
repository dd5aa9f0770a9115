#include "ipc/base/platform/platform_thread.h"

#include "ipc/base/platform/windows_win.h"

#include "ipc/base/logging.h"
#include "ipc/base/platform/error.h"

namespace ipcbase {
namespace {

DWORD WINAPI ThreadEntry(void* param) {
  static_cast<PlatformThread::Delegate*>(param)->ThreadMain();
  return 0;
}

// The record a debugger reads from the thread-naming exception.
#pragma pack(push, 8)
struct ThreadNameInfo {
  DWORD type;         // must be 0x1000
  const char* name;   // the name, in the naming thread's memory
  DWORD thread_id;    // the thread to name
  DWORD flags;        // reserved, 0
};
#pragma pack(pop)

constexpr DWORD kThreadNameException = 0x406D1388;

// An attached debugger takes the naming exception first and continues the
// thread; one that passes it on leaves it to this handler, which continues
// the thread too. (GCC has no __try / __except, so a vectored handler stands
// in for the usual exception filter.)
LONG CALLBACK ContinueAfterThreadName(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode == kThreadNameException)
    return EXCEPTION_CONTINUE_EXECUTION;
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

bool PlatformThread::Create(size_t stack_size, Delegate* delegate, Handle* handle) {
  if (delegate == nullptr || handle == nullptr) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return false;
  }
  DWORD flags = stack_size != 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
  HANDLE thread = ::CreateThread(nullptr, stack_size, &ThreadEntry, delegate, flags, nullptr);
  if (thread == nullptr) return false;
  *handle = thread;
  return true;
}

void PlatformThread::Join(Handle handle) {
  if (handle == nullptr) {
    LOG(ERROR) << "PlatformThread::Join without a thread handle";
    return;
  }
  if (::WaitForSingleObject(handle, INFINITE) != WAIT_OBJECT_0)
    LOG(ERROR) << "waiting for a thread failed: " << ::GetLastError();
  ::CloseHandle(handle);
}

uint32_t PlatformThread::CurrentId() { return ::GetCurrentThreadId(); }

void PlatformThread::YieldCurrentThread() { ::Sleep(0); }

void PlatformThread::SetName(const char* name) {
  // Only a debugger reads the name; without one the exception would only
  // cost time.
  if (name == nullptr || !::IsDebuggerPresent()) return;
  ThreadNameInfo info{0x1000, name, ::GetCurrentThreadId(), 0};
  void* handler = ::AddVectoredExceptionHandler(1, &ContinueAfterThreadName);
  if (handler == nullptr) return;  // nobody would continue the thread
  ::RaiseException(kThreadNameException, 0, sizeof(info) / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&info));
  ::RemoveVectoredExceptionHandler(handler);
}

}  // namespace ipcbase
