// Units of work that message loops run.
#ifndef IPC_BASE_TASK_H_
#define IPC_BASE_TASK_H_

#include <functional>
#include <utility>

namespace ipcbase {

// A task: posted to a loop, which owns it from then on, runs it once and
// deletes it (or deletes it unrun when the loop goes away first).
class Task {
 public:
  virtual ~Task() = default;
  virtual void Run() = 0;
};

// A task that can be told not to do its work.
class CancelableTask : public Task {
 public:
  virtual void Cancel() = 0;
};

// Deletes an object when run (MessageLoop::DeleteSoon). A loop that goes
// away with the task still queued destroys it unrun, on the loop's own
// thread: the object is deleted then, so it is never leaked.
template <typename T>
class DeleteTask : public Task {
 public:
  explicit DeleteTask(const T* object) : object_(object) {}
  ~DeleteTask() override { delete object_; }
  void Run() override {
    delete object_;
    object_ = nullptr;
  }

 private:
  const T* object_;
};

// Runs a callable. For code whose tasks need no type of their own.
class FunctionTask : public Task {
 public:
  explicit FunctionTask(std::function<void()> function) : function_(std::move(function)) {}
  void Run() override { function_(); }

 private:
  std::function<void()> function_;
};

// A new task that calls function() when run.
inline Task* NewFunctionTask(std::function<void()> function) {
  return new FunctionTask(std::move(function));
}

}  // namespace ipcbase

#endif  // IPC_BASE_TASK_H_
