#include "ipc/base/message_loop.h"

#include <utility>

#include "ipc/base/logging.h"
#include "ipc/base/thread_local.h"

namespace ipcbase {
namespace {

// The slot behind MessageLoop::current(), made by whichever thread asks first.
LazyTlsSlot g_current_loop;

// Destroying a loop deletes what is queued, and a task's destructor may post
// again; after this many passes whatever is still queued is left behind.
constexpr int kMaxDeletePasses = 100;

}  // namespace

bool MessageLoop::DelayedTaskLater::operator()(const PendingTask& a, const PendingTask& b) const {
  // std::priority_queue keeps the greatest on top, so "a is later than b"
  // sinks a below b.
  if (a.delayed_run_time != b.delayed_run_time) return a.delayed_run_time > b.delayed_run_time;
  int32_t diff = static_cast<int32_t>(static_cast<uint32_t>(a.sequence_num) -
                                      static_cast<uint32_t>(b.sequence_num));
  return diff > 0;
}

MessageLoop::MessageLoop(Type type) : type_(type) {
  DCHECK(!current()) << "should only have one message loop per thread";
  DCHECK(type == TYPE_IO);
  g_current_loop.Set(this);
  pump_ = new MessagePumpForIO();
}

MessageLoop::~MessageLoop() {
  DCHECK(this == current());
  DCHECK(!state_);

  destruction_observers_.Notify(
      [](DestructionObserver* observer) { observer->WillDestroyCurrentMessageLoop(); });

  for (int pass = 0; pass < kMaxDeletePasses; ++pass) {
    DeletePendingTasks();
    ReloadWorkQueue();
    if (!DeletePendingTasks()) break;
  }

  g_current_loop.Set(nullptr);
  pump_ = nullptr;
}

MessageLoop* MessageLoop::current() { return static_cast<MessageLoop*>(g_current_loop.Get()); }

void MessageLoop::PostTask(Task* task) { PostTaskHelper(task, 0, true); }

void MessageLoop::PostDelayedTask(Task* task, int64_t delay_ms) {
  PostTaskHelper(task, delay_ms, true);
}

void MessageLoop::PostNonNestableTask(Task* task) { PostTaskHelper(task, 0, false); }

void MessageLoop::PostNonNestableDelayedTask(Task* task, int64_t delay_ms) {
  PostTaskHelper(task, delay_ms, false);
}

void MessageLoop::PostTaskHelper(Task* task, int64_t delay_ms, bool nestable) {
  PendingTask pending{task, 0, 0, nestable};
  if (delay_ms > 0) {
    pending.delayed_run_time =
        (Time::Now() + TimeDelta::FromMilliseconds(delay_ms)).ToInternalValue();
  }

  // The owning thread may destroy the loop as soon as the lock is released,
  // so hold a reference to the pump for the wake-up.
  scoped_refptr<MessagePumpForIO> pump;
  {
    AutoLock hold(incoming_queue_lock_);
    bool was_empty = incoming_queue_.empty();
    incoming_queue_.push_back(pending);
    if (!was_empty) return;  // the pump has already been woken
    pump = pump_;
  }
  pump->ScheduleWork();
}

void MessageLoop::Run() { RunHandler(false); }

void MessageLoop::RunAllPending() { RunHandler(true); }

void MessageLoop::RunHandler(bool quit_when_idle) {
  RunState state{state_ ? state_->run_depth + 1 : 1, quit_when_idle};
  RunState* previous = state_;
  state_ = &state;
  pump_->Run(this);
  state_ = previous;
}

void MessageLoop::Quit() {
  if (!state_) {
    NOTREACHED() << "Must be inside Run to call Quit";
    return;
  }
  state_->quit_received = true;
}

void MessageLoop::QuitNow() {
  if (!state_) {
    NOTREACHED() << "Must be inside Run to call Quit";
    return;
  }
  pump_->Quit();
}

void MessageLoop::AddDestructionObserver(DestructionObserver* observer) {
  DCHECK(this == current());
  destruction_observers_.AddObserver(observer);
}

void MessageLoop::RemoveDestructionObserver(DestructionObserver* observer) {
  DCHECK(this == current());
  destruction_observers_.RemoveObserver(observer);
}

void MessageLoop::set_thread_name(const std::string& name) {
  DCHECK(thread_name_.empty()) << "Should not rename this thread!";
  if (thread_name_.empty()) thread_name_ = name;
}

void MessageLoop::ReloadWorkQueue() {
  if (!work_queue_.empty()) return;  // only a drained queue takes a new batch
  AutoLock hold(incoming_queue_lock_);
  if (incoming_queue_.empty()) return;
  work_queue_.swap(incoming_queue_);
}

void MessageLoop::AddToDelayedWorkQueue(PendingTask pending) {
  pending.sequence_num = next_sequence_num_;
  next_sequence_num_ = static_cast<int32_t>(static_cast<uint32_t>(next_sequence_num_) + 1u);
  delayed_work_queue_.push(pending);
}

bool MessageLoop::DoWork() {
  if (!nestable_tasks_allowed_) return false;
  for (;;) {
    ReloadWorkQueue();
    if (work_queue_.empty()) return false;
    do {
      PendingTask pending = work_queue_.front();
      work_queue_.pop_front();
      if (pending.delayed_run_time) {
        AddToDelayedWorkQueue(pending);
        // A new top of the delayed queue may be due sooner than the pump's wait.
        if (delayed_work_queue_.top().task == pending.task) {
          pump_->ScheduleDelayedWork(Time::FromInternalValue(pending.delayed_run_time));
        }
      } else if (DeferOrRunPendingTask(pending)) {
        return true;
      }
    } while (!work_queue_.empty());
  }
}

bool MessageLoop::DoDelayedWork(Time* next_delayed_work_time) {
  if (!nestable_tasks_allowed_ || delayed_work_queue_.empty()) {
    *next_delayed_work_time = Time();
    return false;
  }
  if (delayed_work_queue_.top().delayed_run_time > Time::Now().ToInternalValue()) {
    *next_delayed_work_time = Time::FromInternalValue(delayed_work_queue_.top().delayed_run_time);
    return false;
  }
  PendingTask pending = delayed_work_queue_.top();
  delayed_work_queue_.pop();
  if (!delayed_work_queue_.empty()) {
    *next_delayed_work_time = Time::FromInternalValue(delayed_work_queue_.top().delayed_run_time);
  }
  return DeferOrRunPendingTask(pending);
}

bool MessageLoop::DoIdleWork() {
  if (state_->run_depth == 1 && !deferred_non_nestable_work_queue_.empty()) {
    PendingTask pending = deferred_non_nestable_work_queue_.front();
    deferred_non_nestable_work_queue_.pop_front();
    RunTask(pending.task);
    return true;
  }
  if (state_->quit_received) pump_->Quit();
  return false;
}

bool MessageLoop::DeferOrRunPendingTask(const PendingTask& pending) {
  if (pending.nestable || state_->run_depth == 1) {
    RunTask(pending.task);
    return true;
  }
  deferred_non_nestable_work_queue_.push_back(pending);
  return false;
}

void MessageLoop::RunTask(Task* task) {
  nestable_tasks_allowed_ = false;
  task->Run();
  delete task;
  nestable_tasks_allowed_ = true;
}

bool MessageLoop::DeletePendingTasks() {
  bool did_work = !work_queue_.empty() || !deferred_non_nestable_work_queue_.empty() ||
                  !delayed_work_queue_.empty();
  // Tasks are destroyed without being run. Delayed tasks found among the
  // immediate ones join the delayed queue first, so all delayed tasks are
  // destroyed in due order.
  while (!work_queue_.empty()) {
    PendingTask pending = work_queue_.front();
    work_queue_.pop_front();
    if (pending.delayed_run_time) {
      AddToDelayedWorkQueue(pending);
    } else {
      delete pending.task;
    }
  }
  while (!deferred_non_nestable_work_queue_.empty()) {
    delete deferred_non_nestable_work_queue_.front().task;
    deferred_non_nestable_work_queue_.pop_front();
  }
  while (!delayed_work_queue_.empty()) {
    Task* task = delayed_work_queue_.top().task;
    delayed_work_queue_.pop();
    delete task;
  }
  return did_work;
}

}  // namespace ipcbase
