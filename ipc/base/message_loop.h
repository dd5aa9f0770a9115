// The per-thread task queue.
//
// Any thread posts tasks to a loop; the loop's own thread runs them one at a
// time, in order, interleaved with the completions of overlapped IO that its
// pump collects. Every loop here is an IO loop (MessageLoopForIO).
//
//   MessageLoopForIO loop;                 // on the thread that will run it
//   loop.PostTask(NewFunctionTask([] { ... }));
//   loop.RunAllPending();                  // or Run() until Quit()
//
// Only the Post* and DeleteSoon operations are thread-safe; everything else
// belongs to the owning thread.
#ifndef IPC_BASE_MESSAGE_LOOP_H_
#define IPC_BASE_MESSAGE_LOOP_H_

#include <cstdint>
#include <deque>
#include <queue>
#include <string>
#include <vector>

#include "ipc/base/lock.h"
#include "ipc/base/message_pump_io.h"
#include "ipc/base/observer_list.h"
#include "ipc/base/task.h"
#include "ipc/base/time.h"

namespace ipcbase {

class MessageLoop : public MessagePump::Delegate {
 public:
  enum Type { TYPE_DEFAULT = 0, TYPE_UI = 1, TYPE_IO = 2 };

  // Told when the loop of the current thread is about to go away.
  class DestructionObserver {
   public:
    virtual void WillDestroyCurrentMessageLoop() = 0;
    virtual ~DestructionObserver() = default;
  };

  // Must be made on the thread that runs it, one loop per thread. Only
  // TYPE_IO is supported; it selects the IO completion-port pump.
  explicit MessageLoop(Type type = TYPE_IO);
  ~MessageLoop() override;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // The calling thread's loop, or null.
  static MessageLoop* current();

  // Posting; any thread; the loop owns the task from here on. A delay is in
  // milliseconds; a negative delay counts as none. Non-nestable tasks run
  // only at the outermost run level.
  void PostTask(Task* task);
  void PostDelayedTask(Task* task, int64_t delay_ms);
  void PostNonNestableTask(Task* task);
  void PostNonNestableDelayedTask(Task* task, int64_t delay_ms);
  template <typename T>
  void DeleteSoon(const T* object) {
    PostNonNestableTask(new DeleteTask<T>(object));
  }

  // Runs tasks until Quit or QuitNow; nests when called from a task.
  void Run();
  // Runs everything that is ready now (tasks posted meanwhile included) and
  // returns instead of waiting.
  void RunAllPending();
  // The innermost Run returns once it runs out of ready work.
  void Quit();
  // The innermost Run returns after the current step.
  void QuitNow();

  void AddDestructionObserver(DestructionObserver* observer);
  void RemoveDestructionObserver(DestructionObserver* observer);

  // Named once, by the thread that runs the loop.
  void set_thread_name(const std::string& name);
  const std::string& thread_name() const { return thread_name_; }

  Type type() const { return type_; }

  // While a task runs, nested loops run no tasks (only IO completions).
  bool NestableTasksAllowed() const { return nestable_tasks_allowed_; }

 protected:
  MessagePumpForIO* pump_io() { return pump_.get(); }

 private:
  struct PendingTask {
    Task* task;
    int64_t delayed_run_time;  // microseconds since 1601; 0 = run now
    int32_t sequence_num;
    bool nestable;
  };
  // Earliest delayed_run_time on top; among equal times, the one that
  // entered the queue first (sequence numbers compared as a signed 32-bit
  // difference, so the order survives the counter's wrap).
  struct DelayedTaskLater {
    bool operator()(const PendingTask& a, const PendingTask& b) const;
  };
  struct RunState {
    int run_depth;
    bool quit_received;
  };

  // MessagePump::Delegate.
  bool DoWork() override;
  bool DoDelayedWork(Time* next_delayed_work_time) override;
  bool DoIdleWork() override;

  void PostTaskHelper(Task* task, int64_t delay_ms, bool nestable);
  void RunHandler(bool quit_when_idle);
  void ReloadWorkQueue();
  void AddToDelayedWorkQueue(PendingTask pending);
  // Runs the task, or defers it when it is non-nestable and the loop is
  // nested. True when it ran.
  bool DeferOrRunPendingTask(const PendingTask& pending);
  void RunTask(Task* task);
  bool DeletePendingTasks();

  Type type_;
  std::deque<PendingTask> work_queue_;
  std::priority_queue<PendingTask, std::vector<PendingTask>, DelayedTaskLater>
      delayed_work_queue_;
  std::deque<PendingTask> deferred_non_nestable_work_queue_;
  scoped_refptr<MessagePumpForIO> pump_;
  ObserverList<DestructionObserver> destruction_observers_;
  bool nestable_tasks_allowed_ = true;
  std::string thread_name_;
  std::deque<PendingTask> incoming_queue_;
  Lock incoming_queue_lock_;
  RunState* state_ = nullptr;
  int32_t next_sequence_num_ = 0;
};

// The same loop, seen through its IO operations.
class MessageLoopForIO : public MessageLoop {
 public:
  using IOContext = MessagePumpForIO::IOContext;
  using IOHandler = MessagePumpForIO::IOHandler;

  MessageLoopForIO() : MessageLoop(TYPE_IO) {}

  // The calling thread's loop as an IO loop, or null.
  static MessageLoopForIO* current() {
    return static_cast<MessageLoopForIO*>(MessageLoop::current());
  }

  void RegisterIOHandler(platform::IoHandle file, IOHandler* handler) {
    pump_io()->RegisterIOHandler(file, handler);
  }
  bool WaitForIOCompletion(int64_t timeout_ms, IOHandler* filter) {
    return pump_io()->WaitForIOCompletion(timeout_ms, filter);
  }
  bool StartRead(platform::IoHandle file, void* buffer, uint32_t size, IOContext* context) {
    return pump_io()->StartRead(file, buffer, size, context);
  }
  bool StartWrite(platform::IoHandle file, const void* buffer, uint32_t size,
                  IOContext* context) {
    return pump_io()->StartWrite(file, buffer, size, context);
  }
  bool CancelIo(platform::IoHandle file) { return pump_io()->CancelIo(file); }
};

}  // namespace ipcbase

#endif  // IPC_BASE_MESSAGE_LOOP_H_
