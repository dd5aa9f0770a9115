// Native threads (CreateThread, WaitForSingleObject + CloseHandle).
#ifndef IPC_BASE_PLATFORM_PLATFORM_THREAD_H_
#define IPC_BASE_PLATFORM_PLATFORM_THREAD_H_

#include <cstddef>
#include <cstdint>

namespace ipcbase {

class PlatformThread {
 public:
  // Runs on the new thread.
  class Delegate {
   public:
    virtual void ThreadMain() = 0;

   protected:
    virtual ~Delegate() = default;
  };

  // An opaque, joinable thread handle; null is none.
  using Handle = void*;

  // Starts a thread that calls delegate->ThreadMain(). stack_size 0 uses the
  // default. On success stores a handle that must be passed to Join once.
  static bool Create(size_t stack_size, Delegate* delegate, Handle* handle);

  // Waits for the thread to end and releases its handle.
  static void Join(Handle handle);

  // A number that identifies the calling thread among the process's running
  // threads; never 0.
  static uint32_t CurrentId();

  // Gives up the rest of the time slice (Sleep(0)).
  static void YieldCurrentThread();

  // Names the calling thread for debuggers and tools. Names longer than the
  // platform allows are cut.
  static void SetName(const char* name);

  PlatformThread() = delete;
};

}  // namespace ipcbase

#endif  // IPC_BASE_PLATFORM_PLATFORM_THREAD_H_
