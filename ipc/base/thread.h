// A named thread that owns and runs a message loop.
//
//   ipcbase::Thread thread("VemoIpc_0");
//   Thread::Options options;
//   options.message_loop_type = MessageLoop::TYPE_IO;
//   thread.StartWithOptions(options);        // returns once the loop exists
//   thread.message_loop()->PostTask(...);
//   thread.Stop();                           // finishes ready work, joins
#ifndef IPC_BASE_THREAD_H_
#define IPC_BASE_THREAD_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ipc/base/message_loop.h"
#include "ipc/base/message_loop_proxy_impl.h"
#include "ipc/base/platform/platform_thread.h"

namespace ipcbase {

class WaitableEvent;

class Thread : PlatformThread::Delegate {
 public:
  struct Options {
    int message_loop_type = MessageLoop::TYPE_IO;
    size_t stack_size = 0;  // 0: the platform's default
  };

  explicit Thread(const char* name);
  // Stops the thread.
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the thread and waits until its loop exists. False, with nothing
  // changed, when the thread cannot be created.
  bool Start();
  bool StartWithOptions(const Options& options);

  // Asks the loop to quit once it has run its ready work. Returns at once.
  void StopSoon();
  // StopSoon, then waits for the thread to end. Does nothing unless started.
  void Stop();

  // The running loop, or null. Other threads may post to it while the thread
  // runs.
  MessageLoop* message_loop() const { return message_loop_.load(std::memory_order_acquire); }
  // A handle that stays safe to post to after the loop is gone.
  scoped_refptr<MessageLoopProxyImpl> message_loop_proxy() const { return message_loop_proxy_; }

  const std::string& thread_name() const { return name_; }
  // The running thread's id, 0 when not running.
  uint32_t thread_id() const { return thread_id_.load(std::memory_order_acquire); }
  bool IsRunning() const { return message_loop() != nullptr; }

 protected:
  // Hooks on the new thread: before the loop runs, after it ran (loop still
  // there), and after the loop has been destroyed.
  virtual void Init() {}
  virtual void Run(MessageLoop* message_loop);
  virtual void CleanUp() {}
  virtual void CleanUpAfterMessageLoopDestruction() {}

 private:
  struct StartupData;

  void ThreadMain() override;

  bool started_ = false;
  bool stopping_ = false;
  StartupData* startup_data_ = nullptr;
  PlatformThread::Handle thread_ = nullptr;
  std::atomic<MessageLoop*> message_loop_{nullptr};
  scoped_refptr<MessageLoopProxyImpl> message_loop_proxy_;
  std::atomic<uint32_t> thread_id_{0};
  std::string name_;
};

}  // namespace ipcbase

#endif  // IPC_BASE_THREAD_H_
