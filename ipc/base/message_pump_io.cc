#include "ipc/base/message_pump_io.h"

#include <cmath>

#include "ipc/base/logging.h"

namespace ipcbase {

MessagePumpForIO::MessagePumpForIO() : port_(platform::CompletionPort::Create()) {
  CHECK(port_) << "cannot create the IO completion port: " << platform::GetLastError();
}

MessagePumpForIO::~MessagePumpForIO() = default;

void MessagePumpForIO::Run(Delegate* delegate) {
  RunState state{delegate, false, state_ ? state_->run_depth + 1 : 1};
  RunState* previous = state_;
  state_ = &state;
  // Without a port nothing can ever wake the pump; returning beats spinning.
  if (port_) DoRunLoop();
  state_ = previous;
}

void MessagePumpForIO::Quit() {
  DCHECK(state_);
  if (state_) state_->should_quit = true;
}

void MessagePumpForIO::ScheduleWork() {
  if (have_work_.exchange(1, std::memory_order_acq_rel) != 0) return;  // one is in flight
  if (!port_ || !port_->Post(0, reinterpret_cast<uintptr_t>(this),
                             reinterpret_cast<platform::Overlapped*>(this))) {
    // Nothing was posted, so let the next poster try again.
    have_work_.store(0, std::memory_order_release);
  }
}

void MessagePumpForIO::ScheduleDelayedWork(const Time& delayed_work_time) {
  // Called on the pump's own thread, which cannot be sleeping now: the next
  // wait picks the new time up.
  delayed_work_time_ = delayed_work_time;
}

void MessagePumpForIO::RegisterIOHandler(platform::IoHandle handle, IOHandler* handler) {
  bool ok = port_ && port_->Associate(handle, reinterpret_cast<uintptr_t>(handler));
  DCHECK(ok);
  if (!ok) LOG(ERROR) << "cannot register an IO handler: " << platform::GetLastError();
}

bool MessagePumpForIO::StartRead(platform::IoHandle handle, void* buffer, uint32_t size,
                                 IOContext* context) {
  if (!port_) return false;
  return port_->Read(handle, buffer, size, &context->overlapped);
}

bool MessagePumpForIO::StartWrite(platform::IoHandle handle, const void* buffer, uint32_t size,
                                  IOContext* context) {
  if (!port_) return false;
  return port_->Write(handle, buffer, size, &context->overlapped);
}

bool MessagePumpForIO::CancelIo(platform::IoHandle handle) {
  return port_ && port_->CancelIo(handle);
}

int64_t MessagePumpForIO::GetCurrentDelay() const {
  if (delayed_work_time_.is_null()) return -1;
  double remaining_ms =
      static_cast<double>((delayed_work_time_ - Time::Now()).InMicroseconds()) / 1000.0;
  int64_t delay = static_cast<int64_t>(std::ceil(remaining_ms));
  return delay < 0 ? 0 : delay;
}

void MessagePumpForIO::DoRunLoop() {
  for (;;) {
    // Each step checks should_quit, so that a Quit from any of them ends the
    // run before the next step.
    bool more_work_is_plausible = state_->delegate->DoWork();
    if (state_->should_quit) break;

    more_work_is_plausible |= WaitForIOCompletion(0, nullptr);
    if (state_->should_quit) break;

    more_work_is_plausible |= state_->delegate->DoDelayedWork(&delayed_work_time_);
    if (state_->should_quit) break;

    if (more_work_is_plausible) continue;

    more_work_is_plausible = state_->delegate->DoIdleWork();
    if (state_->should_quit) break;

    if (more_work_is_plausible) continue;

    WaitForWork();
  }
}

void MessagePumpForIO::WaitForWork() {
  DCHECK(state_->run_depth == 1) << "Cannot nest an IO message loop!";
  WaitForIOCompletion(GetCurrentDelay(), nullptr);
}

bool MessagePumpForIO::WaitForIOCompletion(int64_t timeout_ms, IOHandler* filter) {
  IOItem item;
  if (completed_io_.empty() || !MatchCompletedIOItem(filter, &item)) {
    if (!GetIOItem(timeout_ms, &item)) return false;
    if (IsWakeUp(item)) {
      DCHECK(!item.bytes_transfered);
      // Reset before any task runs, so that a task posted from now on
      // posts a new packet.
      have_work_.exchange(0, std::memory_order_acq_rel);
      return true;
    }
  }
  if (filter && item.handler != filter) {
    completed_io_.push_back(item);
    return true;
  }
  item.handler->OnIOCompleted(item.context, item.bytes_transfered, item.error);
  return true;
}

bool MessagePumpForIO::GetIOItem(int64_t timeout_ms, IOItem* item) {
  platform::Completion completion;
  if (!port_ || !port_->GetCompletion(timeout_ms, &completion)) return false;
  item->handler = reinterpret_cast<IOHandler*>(completion.key);
  item->context = reinterpret_cast<IOContext*>(completion.overlapped);
  item->bytes_transfered = completion.bytes;
  item->error = completion.error;
  return true;
}

bool MessagePumpForIO::MatchCompletedIOItem(IOHandler* filter, IOItem* item) {
  for (auto it = completed_io_.begin(); it != completed_io_.end(); ++it) {
    if (!filter || it->handler == filter) {
      *item = *it;
      completed_io_.erase(it);
      return true;
    }
  }
  return false;
}

bool MessagePumpForIO::IsWakeUp(const IOItem& item) const {
  const void* self = this;
  return static_cast<const void*>(item.handler) == self &&
         static_cast<const void*>(item.context) == self;
}

}  // namespace ipcbase
