#include "ipc/ipc/ipc_channel_proxy.h"

#include <utility>

#include "ipc/base/logging.h"
#include "ipc/ipc/ipc_message.h"

namespace IPC {

// Carries one outgoing message to the IO thread; deletes it if never run.
class ChannelProxy::Context::SendTask : public ipcbase::Task {
 public:
  SendTask(Context* context, Message* message) : context_(context), message_(message) {}
  void Run() override { context_->SendOnIoThread(message_.release()); }

 private:
  scoped_refptr<Context> context_;
  std::unique_ptr<Message> message_;
};

// Carries the copy of one received message to the listener thread.
class ChannelProxy::Context::DispatchTask : public ipcbase::Task {
 public:
  DispatchTask(Context* context, const Message& message) : context_(context), message_(message) {}
  void Run() override { context_->DispatchMessageToListener(message_); }

 private:
  scoped_refptr<Context> context_;
  Message message_;
};

// The IO loop as the context sees it from any thread. Registered with the
// loop (on its thread) by the first open, it stays registered, holding a
// reference to itself, until the loop is destroyed; then it forgets the loop,
// so that nothing is ever posted to it afterwards, and closes the channel of
// a context that is still open.
class ChannelProxy::Context::IoLoopHandle
    : public ipcbase::RefCountedThreadSafe<IoLoopHandle>,
      public ipcbase::MessageLoop::DestructionObserver {
 public:
  explicit IoLoopHandle(ipcbase::MessageLoop* loop) : loop_(loop) {}

  ipcbase::MessageLoop* loop() const {
    ipcbase::AutoLock lock(lock_);
    return loop_;
  }

  // Any thread: posts, or deletes the task and returns false.
  bool Post(ipcbase::Task* task, int64_t delay_ms) {
    {
      // Held while posting, so the loop cannot go away half way: its
      // destruction notice takes the same lock first.
      ipcbase::AutoLock lock(lock_);
      if (loop_) {
        loop_->PostDelayedTask(task, delay_ms);
        return true;
      }
    }
    delete task;
    return false;
  }

  // IO thread: `context` is open (holds the IO thread's reference) until
  // Unwatch.
  void Watch(Context* context) {
    if (!observing_) {
      observing_ = true;
      AddRef();  // released when the loop goes away
      ipcbase::MessageLoop::current()->AddDestructionObserver(this);
    }
    open_context_ = context;
  }
  void Unwatch() { open_context_ = nullptr; }

 private:
  friend class ipcbase::RefCountedThreadSafe<IoLoopHandle>;
  ~IoLoopHandle() override = default;

  void WillDestroyCurrentMessageLoop() override {
    {
      ipcbase::AutoLock lock(lock_);
      loop_ = nullptr;
    }
    if (Context* context = std::exchange(open_context_, nullptr)) {
      scoped_refptr<Context> keep(context);
      context->CloseOnIoThread();
    }
    Release();  // may destroy this handle
  }

  mutable ipcbase::Lock lock_;
  ipcbase::MessageLoop* loop_;          // guarded by lock_
  Context* open_context_ = nullptr;     // IO thread
  bool observing_ = false;              // IO thread
};

ChannelProxy::Context::Context(Channel::Listener* listener, ipcbase::MessageLoop* io_loop)
    : listener_loop_(ipcbase::MessageLoop::current()),
      listener_loop_proxy_(ipcbase::MessageLoopProxyImpl::CreateForCurrentThread()),
      listener_(listener),
      io_loop_handle_(new IoLoopHandle(io_loop)) {
  CHECK(listener_loop_) << "a channel proxy is made on a thread with a message loop";
}

ChannelProxy::Context::~Context() {
  // Gone already in every orderly shutdown; this covers an IO loop that
  // never ran the open or close task.
  DCHECK(!channel_);
}

ipcbase::MessageLoop* ChannelProxy::Context::io_loop() const { return io_loop_handle_->loop(); }

bool ChannelProxy::Context::PostToIoLoop(ipcbase::Task* task) {
  return io_loop_handle_->Post(task, 0);
}

bool ChannelProxy::Context::PostDelayedToIoLoop(ipcbase::Task* task, int64_t delay_ms) {
  return io_loop_handle_->Post(task, delay_ms);
}

void ChannelProxy::Context::PostToListener(void (Context::*method)()) {
  scoped_refptr<Context> self(this);
  listener_loop_proxy_->PostTask(ipcbase::NewFunctionTask([self, method] { (self.get()->*method)(); }));
}

void ChannelProxy::Context::CreateChannelObject(const std::string& channel_name,
                                                Channel::Mode mode) {
  DCHECK(channel_ == nullptr);
  if (channel_) return;
  channel_name_ = channel_name;
  channel_ = std::make_unique<Channel>(channel_name, mode, this);
}

void ChannelProxy::Context::OpenOnIoThread() {
  DCHECK(channel_ != nullptr);
  if (!io_thread_holds_reference_) {
    io_thread_holds_reference_ = true;
    AddRef();
    io_loop_handle_->Watch(this);
  }
  if (!channel_ || !channel_->Connect()) OnChannelError();
}

void ChannelProxy::Context::CloseOnIoThread() {
  if (!channel_) return;
  channel_.reset();
  if (io_thread_holds_reference_) {
    io_thread_holds_reference_ = false;
    io_loop_handle_->Unwatch();
    Release();  // may destroy this context
  }
}

void ChannelProxy::Context::ClearListener() { listener_.store(nullptr); }

void ChannelProxy::Context::SendOnIoThread(Message* message) {
  std::unique_ptr<Message> owned(message);
  if (!channel_) {
    owned.reset();
    CloseOnIoThread();
    return;
  }
  if (!channel_->Send(owned.release())) OnChannelError();
}

void ChannelProxy::Context::OnMessageReceived(const Message& message) {
  OnMessageReceivedNoFilter(message);
}

void ChannelProxy::Context::OnMessageReceivedNoFilter(const Message& message) {
  listener_loop_proxy_->PostTask(new DispatchTask(this, message));
}

void ChannelProxy::Context::OnChannelConnected(int32_t peer_pid) {
  peer_process_id_.store(peer_pid);
  PostToListener(&Context::DispatchConnectedToListener);
}

void ChannelProxy::Context::OnChannelError() { PostToListener(&Context::DispatchErrorToListener); }

void ChannelProxy::Context::DispatchMessageToListener(const Message& message) {
  Channel::Listener* listener = listener_.load();
  if (!listener) return;
  if (!connected_reported_.exchange(true)) listener->OnChannelConnected(peer_process_id_.load());
  // The connection notice may have closed the proxy.
  listener = listener_.load();
  if (listener) listener->OnMessageReceived(message);
}

void ChannelProxy::Context::DispatchConnectedToListener() {
  if (connected_reported_.exchange(true)) return;
  if (Channel::Listener* listener = listener_.load()) {
    listener->OnChannelConnected(peer_process_id_.load());
  }
}

void ChannelProxy::Context::DispatchErrorToListener() {
  if (Channel::Listener* listener = listener_.load()) listener->OnChannelError();
}

ChannelProxy::ChannelProxy(const std::string& channel_name, Channel::Mode mode,
                           Channel::Listener* listener, ipcbase::MessageLoop* io_loop,
                           bool create_pipe_now)
    : context_(new Context(listener, io_loop)) {
  Init(channel_name, mode, create_pipe_now);
}

ChannelProxy::ChannelProxy(const std::string& channel_name, Channel::Mode mode,
                           ipcbase::MessageLoop* io_loop, Context* context,
                           bool create_pipe_now)
    : context_(context) {
  (void)io_loop;  // the context's loop is the one used
  Init(channel_name, mode, create_pipe_now);
}

ChannelProxy::~ChannelProxy() { Close(); }

void ChannelProxy::Init(const std::string& channel_name, Channel::Mode mode,
                        bool create_pipe_now) {
  scoped_refptr<Context> context = context_;
  if (create_pipe_now) {
    context->CreateChannelObject(channel_name, mode);
  } else {
    context->PostToIoLoop(ipcbase::NewFunctionTask([context, channel_name, mode] {
      context->CreateChannelObject(channel_name, mode);
    }));
  }
  context->PostToIoLoop(ipcbase::NewFunctionTask([context] { context->OpenOnIoThread(); }));
}

bool ChannelProxy::Send(Message* message) {
  context_->PostToIoLoop(new Context::SendTask(context_.get(), message));
  return true;
}

void ChannelProxy::Close() {
  context_->ClearListener();
  scoped_refptr<Context> context = context_;
  context->PostToIoLoop(ipcbase::NewFunctionTask([context] { context->CloseOnIoThread(); }));
}

}  // namespace IPC
