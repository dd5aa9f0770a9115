// The IO pump: one completion port carries both the completions of
// overlapped reads and writes on registered handles and the pump's own
// wake-up packet, so tasks and IO share one kernel wait whose timeout is the
// distance to the next delayed task.
#ifndef IPC_BASE_MESSAGE_PUMP_IO_H_
#define IPC_BASE_MESSAGE_PUMP_IO_H_

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>

#include "ipc/base/message_pump.h"
#include "ipc/base/platform/completion_port.h"

namespace ipcbase {

class MessagePumpForIO : public MessagePump {
 public:
  // The record of one overlapped operation. The handler that issues the
  // operation owns it; the completion hands it back.
  struct IOContext {
    platform::Overlapped overlapped;
  };

  // Receives the completions of one registered handle, on the pump's thread.
  class IOHandler {
   public:
    virtual ~IOHandler() = default;
    // error is 0 on success, else the platform error code (bytes 0 then).
    virtual void OnIOCompleted(IOContext* context, uint32_t bytes_transfered,
                               uint32_t error) = 0;
  };

  MessagePumpForIO();
  ~MessagePumpForIO() override;

  void Run(Delegate* delegate) override;
  void Quit() override;
  void ScheduleWork() override;
  void ScheduleDelayedWork(const Time& delayed_work_time) override;

  // Routes the completions of handle's overlapped operations to handler.
  void RegisterIOHandler(platform::IoHandle handle, IOHandler* handler);

  // Starts an overlapped read or write on a registered handle; the result is
  // delivered to its handler's OnIOCompleted, also when the operation
  // finished at once. False (last error set) when it could not be started.
  bool StartRead(platform::IoHandle handle, void* buffer, uint32_t size, IOContext* context);
  bool StartWrite(platform::IoHandle handle, const void* buffer, uint32_t size,
                  IOContext* context);
  // Completes every outstanding operation on handle with an "aborted" error.
  bool CancelIo(platform::IoHandle handle);

  // Handles at most one completion, waiting up to timeout_ms (-1 without
  // limit). With a filter only a completion of that handler is delivered;
  // others that arrive meanwhile are kept, in order, for later waits. False
  // only when nothing arrived in time.
  bool WaitForIOCompletion(int64_t timeout_ms, IOHandler* filter);

  // Milliseconds until the delayed work is due, rounded up so that delayed
  // work never runs early; -1 when none is scheduled, 0 when overdue.
  int64_t GetCurrentDelay() const;

 private:
  struct RunState {
    Delegate* delegate;
    bool should_quit;
    int run_depth;
  };

  struct IOItem {
    IOHandler* handler;
    IOContext* context;
    uint32_t bytes_transfered;
    uint32_t error;
  };

  void DoRunLoop();
  void WaitForWork();
  bool GetIOItem(int64_t timeout_ms, IOItem* item);
  bool MatchCompletedIOItem(IOHandler* filter, IOItem* item);
  bool IsWakeUp(const IOItem& item) const;

  Time delayed_work_time_;
  // 1 while a wake-up packet is in the port, so that at most one is.
  std::atomic<int32_t> have_work_{0};
  RunState* state_ = nullptr;
  std::unique_ptr<platform::CompletionPort> port_;
  std::list<IOItem> completed_io_;
};

}  // namespace ipcbase

#endif  // IPC_BASE_MESSAGE_PUMP_IO_H_
