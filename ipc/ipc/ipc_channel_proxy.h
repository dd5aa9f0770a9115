// IPC::ChannelProxy: an IPC::Channel that lives on an IO thread, used from
// another thread, the listener thread (the thread that constructs the
// proxy).
//
// Every operation on the channel object runs on the IO thread; every call
// into the listener runs on the listener thread. The shared state is the
// reference-counted Context: it is the channel's listener on the IO thread
// and carries each event across by posting a task, and every such task holds
// a reference to it.
//
//   IPC::ChannelProxy proxy("1234", IPC::Channel::MODE_CLIENT, &listener,
//                           io_thread.message_loop(), true);
//   proxy.Send(new IPC::Message(...));   // any thread; always true
//   proxy.Close();                       // nothing is delivered afterwards
//
// The listener hears OnChannelConnected (once, with the peer's process id)
// before the first message, then the messages in the order the channel
// received them, and OnChannelError whenever the channel fails.
//
// The IO thread may stop before the proxy is closed: the channel is then
// closed on that thread as its loop goes away, and later sends and closes
// find no loop and delete what they carry on the calling thread. Likewise,
// what the IO thread posts for a listener thread whose loop has gone is
// deleted undelivered.
#ifndef IPC_IPC_IPC_CHANNEL_PROXY_H_
#define IPC_IPC_IPC_CHANNEL_PROXY_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "ipc/base/lock.h"
#include "ipc/base/message_loop.h"
#include "ipc/base/message_loop_proxy_impl.h"
#include "ipc/base/ref_counted.h"
#include "ipc/base/task.h"
#include "ipc/ipc/ipc_channel.h"
#include "ipc/ipc/ipc_sender.h"

namespace IPC {

class ChannelProxy : public MessageSender {
 public:
  class Context;

  // A proxy with a plain Context. `listener` is not owned; it must stay valid
  // until Close. With `create_pipe_now` the pipe is opened on this thread
  // before the constructor returns, else on the IO thread.
  ChannelProxy(const std::string& channel_name, Channel::Mode mode, Channel::Listener* listener,
               ipcbase::MessageLoop* io_loop, bool create_pipe_now);
  // Close, then the proxy's reference to the context is dropped.
  ~ChannelProxy() override;
  ChannelProxy(const ChannelProxy&) = delete;
  ChannelProxy& operator=(const ChannelProxy&) = delete;

  // Any thread; takes ownership. Hands the message to the IO thread and
  // returns true. Trouble is reported only through OnChannelError; a message
  // sent after Close is deleted unsent.
  bool Send(Message* message) override;

  // On the listener thread: detaches the listener at once (nothing more is
  // delivered) and closes the channel on the IO thread. A second Close does
  // nothing more.
  void Close();

  // The companion of the proxy is the context of the connection (Init is
  // given it by the derived class, which made it).
  class Context : public ipcbase::RefCountedThreadSafe<Context>, public Channel::Listener {
   public:
    // On the listener thread: the listener loop is the current loop.
    Context(Channel::Listener* listener, ipcbase::MessageLoop* io_loop);

    ipcbase::MessageLoop* listener_loop() const { return listener_loop_; }
    // The IO thread's loop, or null once it has gone away. Posting to it
    // from another thread goes through PostToIoLoop.
    ipcbase::MessageLoop* io_loop() const;
    // IO thread only.
    Channel* channel() const { return channel_.get(); }

    // Any thread: posts `task` to the IO loop and returns true, or deletes it
    // and returns false when that loop has gone away.
    bool PostToIoLoop(ipcbase::Task* task);
    bool PostDelayedToIoLoop(ipcbase::Task* task, int64_t delay_ms);

   protected:
    friend class ChannelProxy;
    friend class ipcbase::RefCountedThreadSafe<Context>;
    ~Context() override;

    // Channel::Listener, on the IO thread.
    void OnMessageReceived(const Message& message) override;
    void OnChannelConnected(int32_t peer_pid) override;
    void OnChannelError() override;

    // On the IO thread: connects the channel (OnChannelError when it cannot).
    virtual void OpenOnIoThread();
    // On the IO thread: deletes the channel and gives back the IO thread's
    // reference (which may destroy the context). Nothing on a second call.
    virtual void CloseOnIoThread();
    // On the listener thread: no listener call is made from now on.
    virtual void ClearListener();

    // On the IO thread: passes a copy of `message` to the listener thread.
    void OnMessageReceivedNoFilter(const Message& message);

    // On the listener thread (or a thread dispatching for it, see
    // IPC::SyncChannel): deliveries; each does nothing once the listener is
    // cleared.
    void DispatchMessageToListener(const Message& message);
    void DispatchConnectedToListener();
    void DispatchErrorToListener();

    // On the IO thread: the channel is being created.
    void CreateChannelObject(const std::string& channel_name, Channel::Mode mode);
    // The task body of ChannelProxy::Send.
    void SendOnIoThread(Message* message);

   private:
    class SendTask;
    class DispatchTask;
    class IoLoopHandle;

    // Posts `method` on this context to the listener loop; the task holds a
    // reference to the context.
    void PostToListener(void (Context::*method)());

    ipcbase::MessageLoop* const listener_loop_;
    // Posts to listener_loop_ while it exists.
    const scoped_refptr<ipcbase::MessageLoopProxyImpl> listener_loop_proxy_;
    std::atomic<Channel::Listener*> listener_;
    // Posts to the IO loop while it exists, and closes the channel when the
    // loop goes away first.
    const scoped_refptr<IoLoopHandle> io_loop_handle_;
    std::unique_ptr<Channel> channel_;
    std::string channel_name_;
    std::atomic<int32_t> peer_process_id_{0};
    std::atomic<bool> connected_reported_{false};
    // The IO thread's reference, from OpenOnIoThread to CloseOnIoThread.
    bool io_thread_holds_reference_ = false;
  };

 protected:
  // For derived proxies that bring their own (derived) context.
  ChannelProxy(const std::string& channel_name, Channel::Mode mode,
               ipcbase::MessageLoop* io_loop, Context* context, bool create_pipe_now);

  Context* context() const { return context_.get(); }

 private:
  void Init(const std::string& channel_name, Channel::Mode mode, bool create_pipe_now);

  scoped_refptr<Context> context_;
};

}  // namespace IPC

#endif  // IPC_IPC_IPC_CHANNEL_PROXY_H_
