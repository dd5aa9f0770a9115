#include "host/host_channel.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "ipc/base/logging.h"
#include "ipc/base/platform/error.h"
#include "ipc/base/platform/process.h"
#include "ipc/ipc/ipc_channel.h"
#include "ipc/ipc/ipc_sync_message.h"

namespace host {
namespace {

using ipcbase::platform::kInvalidIoHandle;

// What is left of a timeout that started at `start`; -1 stays -1.
class Deadline {
 public:
  explicit Deadline(int64_t timeout_ms)
      : timeout_ms_(timeout_ms), start_(std::chrono::steady_clock::now()) {}
  int64_t Remaining() const {
    if (timeout_ms_ < 0) return -1;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start_)
                             .count();
    return elapsed >= timeout_ms_ ? 0 : timeout_ms_ - elapsed;
  }

 private:
  const int64_t timeout_ms_;
  const std::chrono::steady_clock::time_point start_;
};

constexpr size_t kReadChunk = 64 * 1024;

}  // namespace

std::unique_ptr<HostChannel> HostChannel::Create(const std::string& channel_id) {
  auto server = ipcbase::platform::PipeServer::Create(IPC::Channel::PipeName(channel_id));
  if (!server) {
    LOG(ERROR) << "host: cannot create the pipe of channel \"" << channel_id
               << "\": " << ipcbase::platform::GetLastError();
    return nullptr;
  }
  return std::unique_ptr<HostChannel>(new HostChannel(std::move(server)));
}

HostChannel::HostChannel(std::unique_ptr<ipcbase::platform::PipeServer> server)
    : server_(std::move(server)) {}

HostChannel::~HostChannel() { CloseConnection(); }

bool HostChannel::Accept(int64_t timeout_ms, int32_t hello_pid) {
  if (connected() || !server_) return false;
  stream_ = server_->Accept(timeout_ms);
  if (!connected()) return false;
  IPC::Message hello(IPC::kRoutingIdNone, IPC::kHelloMessageType, IPC::Message::PRIORITY_NORMAL);
  hello.WriteInt(hello_pid >= 0 ? hello_pid
                                : static_cast<int32_t>(ipcbase::platform::CurrentProcessId()));
  return Send(hello);
}

void HostChannel::StopListening() { server_.reset(); }

bool HostChannel::Send(const IPC::Message& message) {
  return SendBytes(message.data(), message.size());
}

bool HostChannel::SendBytes(const void* data, size_t size) {
  return connected() && ipcbase::platform::WriteAll(stream_, data, size);
}

HostChannel::ReadResult HostChannel::Read(int64_t timeout_ms,
                                          std::unique_ptr<IPC::Message>* message) {
  const Deadline deadline(timeout_ms);
  for (;;) {
    const char* begin = received_.data() + received_start_;
    const char* end = received_.data() + received_.size();
    if (const char* next = IPC::Message::FindNext(begin, end)) {
      // A writable copy of the viewed bytes.
      *message = std::make_unique<IPC::Message>(
          IPC::Message(begin, static_cast<int>(next - begin)));
      received_start_ += static_cast<size_t>(next - begin);
      if (received_start_ == received_.size()) {
        received_.clear();
        received_start_ = 0;
      }
      return ReadResult::kMessage;
    }
    if (!connected()) return ReadResult::kClosed;
    // Drop what was consumed before the buffer grows.
    if (received_start_ > 0) {
      received_.erase(0, received_start_);
      received_start_ = 0;
    }
    const size_t old_size = received_.size();
    received_.resize(old_size + kReadChunk);
    const int64_t n = ipcbase::platform::ReadSome(stream_, received_.data() + old_size,
                                                  kReadChunk, deadline.Remaining());
    received_.resize(old_size + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n == 0) return ReadResult::kClosed;
    if (n < 0) {
      const uint32_t error = ipcbase::platform::GetLastError();
      if (error == ipcbase::platform::kErrorTimeout) return ReadResult::kTimeout;
      if (error == ipcbase::platform::kErrorBrokenPipe) return ReadResult::kClosed;
      LOG(ERROR) << "host: pipe error: " << error;
      return ReadResult::kError;
    }
  }
}

void HostChannel::SetSyncHandler(uint32_t type, SyncHandler handler) {
  if (handler) {
    handlers_[type] = std::move(handler);
  } else {
    handlers_.erase(type);
  }
}

bool HostChannel::AnswerRequest(const IPC::Message& request, bool* write_ok) {
  auto it = handlers_.find(request.type());
  if (it == handlers_.end()) return false;
  std::unique_ptr<IPC::Message> reply = IPC::SyncMessage::MakeReply(request);
  if (it->second(request, reply.get())) {
    *write_ok = Send(*reply);
  } else {
    *write_ok = SendErrorReply(request);
  }
  return true;
}

bool HostChannel::SendErrorReply(const IPC::Message& request) {
  std::unique_ptr<IPC::Message> reply = IPC::SyncMessage::MakeReply(request);
  reply->set_reply_error();
  return Send(*reply);
}

HostChannel::ReadResult HostChannel::Next(int64_t timeout_ms,
                                          std::unique_ptr<IPC::Message>* message) {
  const Deadline deadline(timeout_ms);
  for (;;) {
    ReadResult result = Read(deadline.Remaining(), message);
    if (result != ReadResult::kMessage) return result;
    const IPC::Message& received = **message;
    if (received.routing_id() == IPC::kRoutingIdNone &&
        received.type() == IPC::kHelloMessageType) {
      void* iter = nullptr;
      int pid;
      peer_pid_ = received.ReadInt(&iter, &pid) ? pid : -1;
      continue;
    }
    if (received.is_sync()) {
      bool write_ok = true;
      if (AnswerRequest(received, &write_ok)) {
        if (!write_ok) return connected() ? ReadResult::kError : ReadResult::kClosed;
        continue;
      }
    }
    return ReadResult::kMessage;
  }
}

HostChannel::ReadResult HostChannel::ServeUntilClosed(int64_t timeout_ms) {
  const Deadline deadline(timeout_ms);
  std::unique_ptr<IPC::Message> message;
  for (;;) {
    ReadResult result = Next(deadline.Remaining(), &message);
    if (result != ReadResult::kMessage) return result;
  }
}

void HostChannel::CloseConnection() {
  if (!connected()) return;
  ipcbase::platform::CloseIoHandle(stream_);
  stream_ = kInvalidIoHandle;
}

}  // namespace host
