// A thread-safe handle to one message loop that stays valid after the loop
// is gone: posting then deletes the task and returns false.
#ifndef IPC_BASE_MESSAGE_LOOP_PROXY_IMPL_H_
#define IPC_BASE_MESSAGE_LOOP_PROXY_IMPL_H_

#include <cstdint>

#include "ipc/base/lock.h"
#include "ipc/base/message_loop.h"
#include "ipc/base/ref_counted.h"

namespace ipcbase {

class MessageLoopProxyImpl : public RefCountedThreadSafe<MessageLoopProxyImpl>,
                             public MessageLoop::DestructionObserver {
 public:
  // A proxy for the calling thread's loop (null target when it has none).
  static scoped_refptr<MessageLoopProxyImpl> CreateForCurrentThread();

  // Post to the target loop; true when it still exists. Any thread.
  virtual bool PostTask(Task* task);
  virtual bool PostDelayedTask(Task* task, int64_t delay_ms);
  virtual bool PostNonNestableTask(Task* task);
  virtual bool PostNonNestableDelayedTask(Task* task, int64_t delay_ms);
  // True when the target loop exists and is the calling thread's.
  virtual bool BelongsToCurrentThread();

  // The last reference is gone: the proxy is deleted on its loop's thread
  // while that loop exists (it is registered there as an observer), else at
  // once.
  void OnLastReference() { OnDestruct(); }

 protected:
  ~MessageLoopProxyImpl() override;
  virtual void OnDestruct();

 private:
  friend class DeleteTask<MessageLoopProxyImpl>;
  MessageLoopProxyImpl();

  void WillDestroyCurrentMessageLoop() override;
  bool PostTaskHelper(Task* task, int64_t delay_ms, bool nestable);

  Lock message_loop_lock_;
  MessageLoop* target_message_loop_;
};

}  // namespace ipcbase

#endif  // IPC_BASE_MESSAGE_LOOP_PROXY_IMPL_H_
