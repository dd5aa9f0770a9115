#include "ipc/base/thread.h"

#include "ipc/base/logging.h"
#include "ipc/base/waitable_event.h"

namespace ipcbase {

// Handed from the starting thread to the new one while StartWithOptions
// waits; the new thread must not touch it after signalling the event.
struct Thread::StartupData {
  explicit StartupData(const Options& opt) : options(opt), event(false, false) {}
  Options options;
  WaitableEvent event;
};

namespace {
// Quits the loop of the thread it runs on, after the loop's ready work.
class ThreadQuitTask : public Task {
 public:
  void Run() override { MessageLoop::current()->Quit(); }
};
}  // namespace

Thread::Thread(const char* name) : name_(name) {}

Thread::~Thread() { Stop(); }

bool Thread::Start() { return StartWithOptions(Options()); }

bool Thread::StartWithOptions(const Options& options) {
  DCHECK(!message_loop());
  StartupData startup_data(options);
  startup_data_ = &startup_data;
  if (!PlatformThread::Create(options.stack_size, this, &thread_)) {
    startup_data_ = nullptr;
    thread_ = nullptr;
    return false;
  }
  // The new thread signals once its loop exists and its Init has run.
  startup_data.event.Wait();
  startup_data_ = nullptr;
  started_ = true;
  DCHECK(message_loop());
  return true;
}

void Thread::StopSoon() {
  if (stopping_ || !message_loop()) return;
  stopping_ = true;
  message_loop()->PostTask(new ThreadQuitTask());
}

void Thread::Stop() {
  if (!started_) return;
  StopSoon();
  PlatformThread::Join(thread_);
  thread_ = nullptr;
  DCHECK(!message_loop());
  started_ = false;
  stopping_ = false;
}

void Thread::Run(MessageLoop* message_loop) { message_loop->Run(); }

void Thread::ThreadMain() {
  {
    // Only IO loops exist in this system.
    MessageLoopForIO message_loop;
    thread_id_.store(PlatformThread::CurrentId(), std::memory_order_release);
    PlatformThread::SetName(name_.c_str());
    message_loop.set_thread_name(name_);
    message_loop_proxy_ = MessageLoopProxyImpl::CreateForCurrentThread();
    message_loop_.store(&message_loop, std::memory_order_release);

    Init();
    startup_data_->event.Signal();
    // startup_data_ belongs to the starting thread again from here on.

    Run(&message_loop);

    CleanUp();
    message_loop_.store(nullptr, std::memory_order_release);
    message_loop_proxy_ = nullptr;
  }
  CleanUpAfterMessageLoopDestruction();
  thread_id_.store(0, std::memory_order_release);
}

}  // namespace ipcbase
