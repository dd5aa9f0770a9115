#include "ipc/ipc/ipc_sync_channel.h"

#include <utility>

#include "ipc/base/logging.h"
#include "ipc/base/platform/platform_thread.h"
#include "ipc/base/thread_local.h"

namespace IPC {
namespace {

// The calling thread's queue (not owned: the contexts that use it own it).
ipcbase::LazyTlsSlot g_queue_slot;

uint32_t CurrentThreadId() { return ipcbase::PlatformThread::CurrentId(); }

}  // namespace

// ---------------------------------------------------------------------------
// ReceivedSyncMsgQueue

SyncChannel::ReceivedSyncMsgQueue::ReceivedSyncMsgQueue()
    : dispatch_event_(true, false),
      listener_loop_(ipcbase::MessageLoop::current()),
      listener_loop_proxy_(ipcbase::MessageLoopProxyImpl::CreateForCurrentThread()) {}

SyncChannel::ReceivedSyncMsgQueue::~ReceivedSyncMsgQueue() = default;

SyncChannel::ReceivedSyncMsgQueue* SyncChannel::ReceivedSyncMsgQueue::AcquireForCurrentThread() {
  auto* queue = static_cast<ReceivedSyncMsgQueue*>(g_queue_slot.Get());
  if (!queue) {
    queue = new ReceivedSyncMsgQueue();
    g_queue_slot.Set(queue);
  }
  ++queue->listener_count_;
  return queue;
}

void SyncChannel::ReceivedSyncMsgQueue::QueueMessage(const Message& msg, SyncContext* context) {
  bool was_task_pending;
  {
    ipcbase::AutoLock lock(message_lock_);
    was_task_pending = task_pending_;
    task_pending_ = true;
    message_queue_.push_back(QueuedMessage{std::make_unique<Message>(msg), context});
  }
  dispatch_event_.Signal();
  if (!was_task_pending) {
    scoped_refptr<ReceivedSyncMsgQueue> self(this);
    listener_loop_proxy_->PostTask(
        ipcbase::NewFunctionTask([self] { self->DispatchQueuedMessagesTask(); }));
  }
}

void SyncChannel::ReceivedSyncMsgQueue::QueueUnmatchedReply(const Message& msg,
                                                            SyncContext* context) {
  ipcbase::AutoLock lock(unmatched_lock_);
  unmatched_replies_.push_back(QueuedMessage{std::make_unique<Message>(msg), context});
}

void SyncChannel::ReceivedSyncMsgQueue::RetryUnmatchedReplies() {
  ipcbase::AutoLock lock(unmatched_lock_);
  for (auto it = unmatched_replies_.begin(); it != unmatched_replies_.end(); ++it) {
    if (it->context->TryCompletePendingSend(*it->message)) {
      unmatched_replies_.erase(it);
      return;
    }
  }
}

void SyncChannel::ReceivedSyncMsgQueue::DispatchQueuedMessagesTask() {
  {
    ipcbase::AutoLock lock(message_lock_);
    task_pending_ = false;
  }
  DispatchQueuedMessages();
}

void SyncChannel::ReceivedSyncMsgQueue::DispatchQueuedMessages() {
  for (;;) {
    QueuedMessage entry;
    {
      ipcbase::AutoLock lock(message_lock_);
      if (message_queue_.empty()) return;
      entry = std::move(message_queue_.front());
      message_queue_.pop_front();
    }
    // Outside the lock: the listener may send, synchronously too, and a
    // nested wait dispatches from this same queue.
    entry.context->DispatchQueuedMessage(*entry.message);
  }
}

void SyncChannel::ReceivedSyncMsgQueue::ReleaseContext(SyncContext* context) {
  std::deque<QueuedMessage> dropped;  // destroyed outside the lock
  {
    ipcbase::AutoLock lock(message_lock_);
    for (auto it = message_queue_.begin(); it != message_queue_.end();) {
      if (it->context.get() == context) {
        dropped.push_back(std::move(*it));
        it = message_queue_.erase(it);
      } else {
        ++it;
      }
    }
  }
  if (--listener_count_ == 0) {
    DCHECK(g_queue_slot.Get());
    // The queue lives on while references remain; a later sync channel on
    // this thread makes a fresh one.
    if (g_queue_slot.Get() == this) g_queue_slot.Set(nullptr);
  }
}

// ---------------------------------------------------------------------------
// SyncContext

SyncChannel::SyncContext::SyncContext(Channel::Listener* listener, ipcbase::MessageLoop* io_loop,
                                      ipcbase::WaitableEvent* shutdown_event)
    : Context(listener, io_loop),
      sync_msg_queue_(ReceivedSyncMsgQueue::AcquireForCurrentThread()),
      shutdown_event_(shutdown_event) {}

SyncChannel::SyncContext::~SyncContext() {
  // Every send holds a reference while it waits, so nothing is pending here.
  DCHECK(pending_sends_.empty());
  pending_sends_.clear();
  shutdown_watcher_.StopWatching();
}

ipcbase::WaitableEvent* SyncChannel::SyncContext::GetDispatchEvent() {
  return sync_msg_queue_->dispatch_event();
}

SyncChannel::SyncContext::PendingStack* SyncChannel::SyncContext::CurrentStackLocked() {
  auto it = pending_sends_.find(CurrentThreadId());
  return it == pending_sends_.end() || it->second.empty() ? nullptr : &it->second;
}

ipcbase::WaitableEvent* SyncChannel::SyncContext::GetSendDoneEvent() {
  ipcbase::AutoLock lock(pending_sends_lock_);
  PendingStack* stack = CurrentStackLocked();
  return stack ? stack->back().done_event.get() : nullptr;
}

void SyncChannel::SyncContext::Push(SyncMessage* sync_msg) {
  PendingSend pending;
  pending.request_id = SyncMessage::GetRequestId(*sync_msg);
  pending.deserializer = sync_msg->TakeReplyDeserializer();
  pending.done_event = std::make_unique<ipcbase::WaitableEvent>(true, false);
  ipcbase::AutoLock lock(pending_sends_lock_);
  pending_sends_[CurrentThreadId()].push_back(std::move(pending));
}

bool SyncChannel::SyncContext::Pop() {
  bool result = false;
  PendingSend popped;  // its deserializer and event are destroyed outside the lock
  {
    ipcbase::AutoLock lock(pending_sends_lock_);
    auto it = pending_sends_.find(CurrentThreadId());
    DCHECK(it != pending_sends_.end() && !it->second.empty());
    if (it == pending_sends_.end() || it->second.empty()) return false;
    popped = std::move(it->second.back());
    it->second.pop_back();
    if (it->second.empty()) pending_sends_.erase(it);
    result = popped.send_result;
  }
  // A reply for the send that is innermost now may have been parked while
  // the removed one was on top.
  scoped_refptr<ReceivedSyncMsgQueue> queue = sync_msg_queue_;
  PostToIoLoop(ipcbase::NewFunctionTask([queue] { queue->RetryUnmatchedReplies(); }));
  return result;
}

void SyncChannel::SyncContext::DispatchQueuedMessages() {
  sync_msg_queue_->DispatchQueuedMessages();
}

void SyncChannel::SyncContext::WaitForSendDone() {
  for (;;) {
    ipcbase::WaitableEvent* events[2] = {GetDispatchEvent(), GetSendDoneEvent()};
    if (!events[1]) return;
    if (ipcbase::WaitableEvent::WaitMany(events, 2) == 1) return;
    events[0]->Reset();
    sync_msg_queue_->DispatchQueuedMessages();
  }
}

bool SyncChannel::SyncContext::TryCompletePendingSend(const Message& msg) {
  if (!msg.is_reply()) return false;
  int request_id;
  if (!SyncMessage::ReadRequestId(msg, &request_id)) return false;
  ipcbase::AutoLock lock(pending_sends_lock_);
  for (auto& [thread_id, stack] : pending_sends_) {
    if (stack.empty() || stack.back().request_id != request_id) continue;
    PendingSend& pending = stack.back();
    // The outputs land in the sender's variables here, under the lock, so
    // the sender sees all of them once the event is signalled.
    if (!msg.is_reply_error() && pending.deserializer) {
      pending.send_result = pending.deserializer->ReadOutputs(msg);
    }
    pending.done_event->Signal();
    return true;
  }
  return false;
}

void SyncChannel::SyncContext::SignalAllPendingSends() {
  ipcbase::AutoLock lock(pending_sends_lock_);
  for (auto& [thread_id, stack] : pending_sends_) {
    for (PendingSend& pending : stack) pending.done_event->Signal();
  }
}

void SyncChannel::SyncContext::SignalPendingSend(int request_id) {
  ipcbase::AutoLock lock(pending_sends_lock_);
  for (auto& [thread_id, stack] : pending_sends_) {
    for (PendingSend& pending : stack) {
      if (pending.request_id == request_id) {
        pending.done_event->Signal();
        return;
      }
    }
  }
}

void SyncChannel::SyncContext::OnMessageReceived(const Message& msg) {
  if (TryCompletePendingSend(msg)) return;
  if (msg.should_unblock()) {
    sync_msg_queue_->QueueMessage(msg, this);
    return;
  }
  if (msg.is_reply()) {
    sync_msg_queue_->QueueUnmatchedReply(msg, this);
    return;
  }
  OnMessageReceivedNoFilter(msg);
}

void SyncChannel::SyncContext::OnChannelError() {
  SignalAllPendingSends();
  shutdown_watcher_.StopWatching();
  Context::OnChannelError();
}

void SyncChannel::SyncContext::OpenOnIoThread() {
  if (shutdown_event_) shutdown_watcher_.StartWatching(shutdown_event_, this);
  Context::OpenOnIoThread();
}

void SyncChannel::SyncContext::CloseOnIoThread() {
  SignalAllPendingSends();
  shutdown_watcher_.StopWatching();
  Context::CloseOnIoThread();  // may destroy this context
}

void SyncChannel::SyncContext::ClearListener() {
  SignalAllPendingSends();
  if (!released_from_queue_) {
    released_from_queue_ = true;
    sync_msg_queue_->ReleaseContext(this);
  }
  Context::ClearListener();
}

void SyncChannel::SyncContext::OnWaitableEventSignaled(ipcbase::WaitableEvent* event) {
  DCHECK(event == shutdown_event_);
  SignalAllPendingSends();
}

// ---------------------------------------------------------------------------
// SyncChannel

SyncChannel::SyncChannel(const std::string& channel_id, Channel::Mode mode,
                         Channel::Listener* listener, ipcbase::MessageLoop* ipc_message_loop,
                         bool create_pipe_now, ipcbase::WaitableEvent* shutdown_event)
    : ChannelProxy(channel_id, mode, ipc_message_loop,
                   new SyncContext(listener, ipc_message_loop, shutdown_event), create_pipe_now),
      sync_messages_with_no_timeout_allowed_(true) {
  dispatch_watcher_.StartWatching(sync_context()->GetDispatchEvent(), this);
}

SyncChannel::~SyncChannel() { dispatch_watcher_.StopWatching(); }

SyncChannel::SyncContext* SyncChannel::sync_context() const {
  return static_cast<SyncContext*>(context());
}

bool SyncChannel::Send(Message* message) { return SendWithTimeout(message, ipcbase::kNoTimeout); }

bool SyncChannel::SendWithTimeout(Message* message, int timeout_ms) {
  if (!message->is_sync()) {
    ChannelProxy::Send(message);
    return true;
  }
  std::unique_ptr<Message> owned(message);
  // Lives through the wait, also if the channel is destroyed meanwhile.
  scoped_refptr<SyncContext> context(sync_context());
  ipcbase::WaitableEvent* shutdown_event = context->shutdown_event();
  if (shutdown_event && shutdown_event->IsSignaled()) return false;
  DCHECK(sync_messages_with_no_timeout_allowed_ || timeout_ms != ipcbase::kNoTimeout);

  auto* sync_msg = dynamic_cast<SyncMessage*>(message);
  if (!sync_msg) {
    LOG(ERROR) << "a synchronous send needs an IPC::SyncMessage (type " << message->type() << ")";
    return false;
  }
  const int request_id = SyncMessage::GetRequestId(*sync_msg);
  context->Push(sync_msg);
  // The shutdown watcher releases only the sends pushed before it fired:
  // look again now that this one is recorded.
  if (shutdown_event && shutdown_event->IsSignaled()) return context->Pop();

  ChannelProxy::Send(owned.release());
  if (!context->io_loop()) {
    // The IO thread is gone, and with it whatever would end the wait.
    return context->Pop();
  }
  if (timeout_ms != ipcbase::kNoTimeout) {
    context->PostDelayedToIoLoop(
        ipcbase::NewFunctionTask([context, request_id] { context->SignalPendingSend(request_id); }),
        timeout_ms);
  }
  context->WaitForSendDone();
  return context->Pop();
}

void SyncChannel::OnWaitableEventSignaled(ipcbase::WaitableEvent* event) {
  DCHECK(event == sync_context()->GetDispatchEvent());
  event->Reset();
  dispatch_watcher_.StartWatching(event, this);
  sync_context()->DispatchQueuedMessages();
}

}  // namespace IPC
