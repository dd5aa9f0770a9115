#include "ipc/base/message_loop_proxy_impl.h"

#include "ipc/base/logging.h"

namespace ipcbase {

scoped_refptr<MessageLoopProxyImpl> MessageLoopProxyImpl::CreateForCurrentThread() {
  return scoped_refptr<MessageLoopProxyImpl>(new MessageLoopProxyImpl());
}

MessageLoopProxyImpl::MessageLoopProxyImpl() : target_message_loop_(MessageLoop::current()) {
  if (target_message_loop_) target_message_loop_->AddDestructionObserver(this);
}

MessageLoopProxyImpl::~MessageLoopProxyImpl() {
  AutoLock hold(message_loop_lock_);
  if (target_message_loop_) {
    DCHECK(MessageLoop::current() == target_message_loop_);
    target_message_loop_->RemoveDestructionObserver(this);
  }
}

bool MessageLoopProxyImpl::PostTask(Task* task) { return PostTaskHelper(task, 0, true); }

bool MessageLoopProxyImpl::PostDelayedTask(Task* task, int64_t delay_ms) {
  return PostTaskHelper(task, delay_ms, true);
}

bool MessageLoopProxyImpl::PostNonNestableTask(Task* task) {
  return PostTaskHelper(task, 0, false);
}

bool MessageLoopProxyImpl::PostNonNestableDelayedTask(Task* task, int64_t delay_ms) {
  return PostTaskHelper(task, delay_ms, false);
}

bool MessageLoopProxyImpl::BelongsToCurrentThread() {
  AutoLock hold(message_loop_lock_);
  return target_message_loop_ && target_message_loop_ == MessageLoop::current();
}

bool MessageLoopProxyImpl::PostTaskHelper(Task* task, int64_t delay_ms, bool nestable) {
  AutoLock hold(message_loop_lock_);
  if (!target_message_loop_) {
    delete task;
    return false;
  }
  // Posting under the lock: the loop cannot finish dying meanwhile, because
  // its destruction first takes this lock to clear the target.
  if (nestable) {
    target_message_loop_->PostDelayedTask(task, delay_ms);
  } else {
    target_message_loop_->PostNonNestableDelayedTask(task, delay_ms);
  }
  return true;
}

void MessageLoopProxyImpl::OnDestruct() {
  {
    AutoLock hold(message_loop_lock_);
    if (target_message_loop_ && target_message_loop_ != MessageLoop::current()) {
      // The deletion task cannot run before this lock is released: the
      // destructor takes it first.
      target_message_loop_->DeleteSoon(this);
      return;
    }
  }
  delete this;
}

void MessageLoopProxyImpl::WillDestroyCurrentMessageLoop() {
  AutoLock hold(message_loop_lock_);
  target_message_loop_ = nullptr;
}

}  // namespace ipcbase
