// IPC::SyncChannel: a channel proxy that can also send synchronous requests.
//
// A synchronous send (a message with SYNC_BIT, an IPC::SyncMessage) blocks
// its caller until the reply with the same request id has been read, then
// returns whether the reply carried outputs that read (an error reply
// returns false). The reply is matched, and its outputs are read into the
// caller's variables, on the IO thread. While a sender waits it dispatches
// the incoming requests marked UNBLOCK_BIT (and only those) to the
// listener, on the waiting thread; the listener may send again from there,
// synchronously too (nested sends complete innermost first).
//
//   IPC::SyncChannel channel("1234", IPC::Channel::MODE_CLIENT, &listener,
//                            io_thread.message_loop(), true, &shutdown_event);
//   std::string name;
//   bool ok = channel.Send(new ViewHostMsg_CreateIpcChannel(name));
//
// Every waiting send is released with false on a channel error, on Close,
// or when `shutdown_event` is signalled; a synchronous send started after
// the shutdown event was signalled returns false at once, unsent.
//
// Several threads may send synchronously over one channel at the same
// time: each sending thread has a pending-send stack of its own, so a
// reply completes only the send that it answers, whichever thread waits for
// it and in whatever order the replies come.
#ifndef IPC_IPC_IPC_SYNC_CHANNEL_H_
#define IPC_IPC_IPC_SYNC_CHANNEL_H_

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ipc/base/lock.h"
#include "ipc/base/ref_counted.h"
#include "ipc/base/waitable_event.h"
#include "ipc/base/waitable_event_watcher.h"
#include "ipc/ipc/ipc_channel_proxy.h"
#include "ipc/ipc/ipc_sync_message.h"

namespace ipcbase {
// A send timeout meaning "no limit". (Every send of this system has none.)
inline constexpr int kNoTimeout = -1;
}  // namespace ipcbase

namespace IPC {

class SyncChannel : public ChannelProxy, public ipcbase::WaitableEventWatcher::Delegate {
 public:
  class SyncContext;

  // On the listener thread. `listener` and `shutdown_event` are not owned;
  // the event must outlive the channel and may be null (no shutdown event).
  SyncChannel(const std::string& channel_id, Channel::Mode mode, Channel::Listener* listener,
              ipcbase::MessageLoop* ipc_message_loop, bool create_pipe_now,
              ipcbase::WaitableEvent* shutdown_event);
  ~SyncChannel() override;

  // Any thread; takes ownership. SendWithTimeout(message, kNoTimeout).
  bool Send(Message* message) override;

  // An asynchronous message is handed to the IO thread (true). A synchronous
  // one blocks until its reply has been read or the send is given up
  // (channel error, Close, shutdown event, or `timeout_ms` elapsed unless it
  // is ipcbase::kNoTimeout), and returns the send's result. A message with
  // SYNC_BIT that is not an IPC::SyncMessage with its reply deserializer is
  // refused (false, logged).
  virtual bool SendWithTimeout(Message* message, int timeout_ms);

  SyncContext* sync_context() const;

  // The queue of incoming requests that senders blocked on one thread
  // dispatch: one per listener thread, shared by its sync channels.
  class ReceivedSyncMsgQueue;

  // The context of a sync channel: matches replies to waiting sends.
  class SyncContext : public ChannelProxy::Context,
                      public ipcbase::WaitableEventWatcher::Delegate {
   public:
    SyncContext(Channel::Listener* listener, ipcbase::MessageLoop* io_loop,
                ipcbase::WaitableEvent* shutdown_event);

    // The dispatch event of the listener thread's queue.
    ipcbase::WaitableEvent* GetDispatchEvent();
    // The done event of the calling thread's innermost pending send, or null.
    ipcbase::WaitableEvent* GetSendDoneEvent();
    ipcbase::WaitableEvent* shutdown_event() const { return shutdown_event_; }

    // Records a send before its request leaves (so its reply always finds
    // the record): the calling thread's new innermost pending send. Takes
    // the request's reply deserializer.
    void Push(SyncMessage* sync_msg);
    // Removes the calling thread's innermost pending send and returns its
    // result; then lets the IO thread retry the parked replies.
    bool Pop();
    // Waits until the calling thread's innermost send is done, dispatching
    // the queued UNBLOCK_BIT requests meanwhile.
    void WaitForSendDone();

    // Any thread: completes the innermost pending send (of any sending
    // thread) that `msg` is the reply to, reading its outputs. False when
    // `msg` answers none of them.
    bool TryCompletePendingSend(const Message& msg);
    // Any thread: releases every pending send / the one with `request_id`.
    void SignalAllPendingSends();
    void SignalPendingSend(int request_id);

    // Delivers the queued UNBLOCK_BIT requests on the calling thread.
    void DispatchQueuedMessages();

    // The delivery of a queued request (see ReceivedSyncMsgQueue).
    void DispatchQueuedMessage(const Message& message) { DispatchMessageToListener(message); }

   protected:
    ~SyncContext() override;

   private:
    struct PendingSend {
      int request_id = 0;
      std::unique_ptr<MessageReplyDeserializer> deserializer;
      std::unique_ptr<ipcbase::WaitableEvent> done_event;
      bool send_result = false;
    };
    using PendingStack = std::deque<PendingSend>;

    // ChannelProxy::Context.
    void OnMessageReceived(const Message& msg) override;
    void OnChannelError() override;
    void OpenOnIoThread() override;
    void CloseOnIoThread() override;
    void ClearListener() override;

    // The shutdown event was signalled (IO thread).
    void OnWaitableEventSignaled(ipcbase::WaitableEvent* event) override;

    // The calling thread's stack, or null; pending_sends_lock_ held.
    PendingStack* CurrentStackLocked();

    // One pending-send stack per sending thread (by platform thread id); the
    // innermost send of each is at the back.
    std::map<uint32_t, PendingStack> pending_sends_;
    ipcbase::Lock pending_sends_lock_;
    scoped_refptr<ReceivedSyncMsgQueue> sync_msg_queue_;
    ipcbase::WaitableEvent* const shutdown_event_;
    ipcbase::WaitableEventWatcher shutdown_watcher_;  // IO thread
    bool released_from_queue_ = false;                // listener thread
  };

 private:
  // The dispatch event of the queue (listener thread).
  void OnWaitableEventSignaled(ipcbase::WaitableEvent* event) override;

  bool sync_messages_with_no_timeout_allowed_;
  ipcbase::WaitableEventWatcher dispatch_watcher_;
};

class SyncChannel::ReceivedSyncMsgQueue
    : public ipcbase::RefCountedThreadSafe<ReceivedSyncMsgQueue> {
 public:
  // The calling thread's queue, made on first use; counts one more context.
  static ReceivedSyncMsgQueue* AcquireForCurrentThread();

  // IO thread: queues a copy of an UNBLOCK_BIT request for the listener
  // thread, wakes a sender blocked there, and posts a dispatch task unless
  // one is pending.
  void QueueMessage(const Message& msg, SyncContext* context);
  // IO thread: parks a reply that answers no innermost pending send.
  void QueueUnmatchedReply(const Message& msg, SyncContext* context);
  // IO thread: offers the parked replies, in order, to their contexts, and
  // drops the first one accepted (one per run; every Pop posts a run).
  void RetryUnmatchedReplies();

  // Delivers every queued request, each exactly once, on the calling thread.
  void DispatchQueuedMessages();
  // The posted form of DispatchQueuedMessages.
  void DispatchQueuedMessagesTask();

  // Listener thread: drops the queued requests of `context` and counts one
  // context less; the thread's slot is cleared with the last one.
  void ReleaseContext(SyncContext* context);

  ipcbase::WaitableEvent* dispatch_event() { return &dispatch_event_; }
  ipcbase::MessageLoop* listener_loop() const { return listener_loop_; }

 private:
  friend class ipcbase::RefCountedThreadSafe<ReceivedSyncMsgQueue>;
  struct QueuedMessage {
    std::unique_ptr<Message> message;
    scoped_refptr<SyncContext> context;
  };

  ReceivedSyncMsgQueue();
  ~ReceivedSyncMsgQueue();

  std::deque<QueuedMessage> message_queue_;  // guarded by message_lock_
  ipcbase::WaitableEvent dispatch_event_;
  ipcbase::MessageLoop* const listener_loop_;
  const scoped_refptr<ipcbase::MessageLoopProxyImpl> listener_loop_proxy_;
  ipcbase::Lock message_lock_;
  bool task_pending_ = false;  // guarded by message_lock_
  int listener_count_ = 0;     // listener thread

  // Parked replies. IO threads of several channels that share this listener
  // thread may touch them, so they have a lock of their own, which may be
  // held while a context's pending_sends_lock_ is taken (never the other
  // way round).
  std::vector<QueuedMessage> unmatched_replies_;
  ipcbase::Lock unmatched_lock_;
};

}  // namespace IPC

#endif  // IPC_IPC_IPC_SYNC_CHANNEL_H_
