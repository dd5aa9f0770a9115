// The waiting half of a message loop: sleeps until there is work and then
// asks its delegate (the loop) to do it.
#ifndef IPC_BASE_MESSAGE_PUMP_H_
#define IPC_BASE_MESSAGE_PUMP_H_

#include "ipc/base/ref_counted.h"
#include "ipc/base/time.h"

namespace ipcbase {

class MessagePump : public RefCountedThreadSafe<MessagePump> {
 public:
  // The loop side of a pump. Each call returns true when it did something.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // Runs at most one ready immediate task.
    virtual bool DoWork() = 0;
    // Runs at most one due delayed task; stores in *next_delayed_work_time
    // when the next one is due (a null Time when none is queued).
    virtual bool DoDelayedWork(Time* next_delayed_work_time) = 0;
    // Called when there is nothing else to do.
    virtual bool DoIdleWork() = 0;
  };

  MessagePump() = default;
  virtual ~MessagePump() = default;

  // Runs until Quit is called for this run. Nests.
  virtual void Run(Delegate* delegate) = 0;
  // Ends the innermost Run after the current step.
  virtual void Quit() = 0;
  // Wakes the pump so that it calls DoWork. Any thread.
  virtual void ScheduleWork() = 0;
  // Owning thread only: the earliest delayed task is now due at
  // delayed_work_time.
  virtual void ScheduleDelayedWork(const Time& delayed_work_time) = 0;
};

}  // namespace ipcbase

#endif  // IPC_BASE_MESSAGE_PUMP_H_
