#include "ipc/ipc/ipc_channel.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>

#include "ipc/base/logging.h"
#include "ipc/base/message_loop.h"
#include "ipc/base/platform/error.h"
#include "ipc/base/platform/io_handle.h"
#include "ipc/base/platform/pipe.h"
#include "ipc/base/platform/process.h"
#include "ipc/base/task.h"
#include "ipc/ipc/ipc_message.h"

namespace IPC {
namespace {

using ipcbase::MessageLoopForIO;
using ipcbase::platform::IoHandle;
using ipcbase::platform::kInvalidIoHandle;

// The whole size (header included) that the message starting at `data`
// announces; `size` must be at least 4 bytes.
uint64_t AnnouncedMessageSize(const char* data) {
  uint32_t payload_size;
  std::memcpy(&payload_size, data, sizeof(payload_size));
  return sizeof(Message::Header) + static_cast<uint64_t>(payload_size);
}

}  // namespace

class Channel::ChannelImpl : public MessageLoopForIO::IOHandler {
 public:
  ChannelImpl(const std::string& channel_id, Mode mode, Listener* listener);
  ~ChannelImpl() override;

  bool Connect();
  bool Send(Message* message);
  void Close();

  // MessageLoopForIO::IOHandler.
  void OnIOCompleted(MessageLoopForIO::IOContext* context, uint32_t bytes_transfered,
                     uint32_t error) override;

 private:
  struct State {
    MessageLoopForIO::IOContext context{};
    bool is_pending = false;
  };

  bool CreatePipe(const std::string& channel_id, Mode mode);
  bool ProcessIncomingMessages(MessageLoopForIO::IOContext* context, uint32_t bytes_read,
                               uint32_t error);
  bool ProcessOutgoingMessages(MessageLoopForIO::IOContext* context, uint32_t bytes_written,
                               uint32_t error);
  // Dispatches every complete message in [begin, end); returns where the
  // incomplete tail starts.
  const char* DispatchMessages(const char* begin, const char* end);
  // Keeps the incomplete tail [begin, end) for the next read. False when the
  // message it starts announces more than kMaximumMessageSize bytes.
  bool KeepTail(const char* begin, const char* end);
  // False (logged, kept bytes dropped) when the incomplete message that
  // starts at `begin` announces more than kMaximumMessageSize bytes.
  bool FitsLimit(const char* begin, const char* end);
  bool pipe_open() const { return pipe_ != kInvalidIoHandle; }

  State input_state_;
  State output_state_;
  IoHandle pipe_ = kInvalidIoHandle;
  Listener* listener_;
  std::deque<std::unique_ptr<Message>> output_queue_;
  char input_buf_[kReadBufferSize];
  std::string input_overflow_buf_;
  bool waiting_connect_ = false;
  bool processing_incoming_ = false;
  // The loop the pipe was registered with by Connect; null before.
  MessageLoopForIO* io_loop_ = nullptr;
  // What the tasks this channel posts hold instead of the channel itself:
  // cleared by the destructor, so that a task that runs later does nothing.
  std::shared_ptr<ChannelImpl*> weak_self_;
};

Channel::ChannelImpl::ChannelImpl(const std::string& channel_id, Mode mode, Listener* listener)
    : listener_(listener), weak_self_(std::make_shared<ChannelImpl*>(this)) {
  if (!CreatePipe(channel_id, mode)) {
    LOG(WARNING) << "Unable to create pipe named \"" << channel_id << "\" in "
                 << (mode == MODE_SERVER ? "server" : "client") << " mode.";
  }
}

Channel::ChannelImpl::~ChannelImpl() {
  Close();
  *weak_self_ = nullptr;
}

bool Channel::ChannelImpl::CreatePipe(const std::string& channel_id, Mode mode) {
  if (mode == MODE_SERVER) {
    // The host owns the server end of every pipe of this system.
    LOG(ERROR) << "a channel cannot create its pipe: server mode is not supported";
    return false;
  }
  pipe_ = ipcbase::platform::ConnectToPipe(PipeName(channel_id));
  if (!pipe_open()) {
    LOG(WARNING) << "failed to create pipe: " << ipcbase::platform::GetLastError();
    return false;
  }
  auto hello = std::make_unique<Message>(kRoutingIdNone, kHelloMessageType,
                                         Message::PRIORITY_NORMAL);
  if (!hello->WriteInt(static_cast<int>(ipcbase::platform::CurrentProcessId()))) {
    ipcbase::platform::CloseIoHandle(pipe_);
    pipe_ = kInvalidIoHandle;
    return false;
  }
  output_queue_.push_back(std::move(hello));
  return true;
}

bool Channel::ChannelImpl::Connect() {
  if (!pipe_open()) return false;
  io_loop_ = MessageLoopForIO::current();
  CHECK(io_loop_) << "a channel connects on a thread with an IO message loop";
  if (!io_loop_) return false;
  io_loop_->RegisterIOHandler(pipe_, this);
  // The first read starts from a task, so that Connect never calls the
  // listener.
  io_loop_->PostTask(ipcbase::NewFunctionTask([weak = weak_self_] {
    if (ChannelImpl* self = *weak) self->OnIOCompleted(&self->input_state_.context, 0, 0);
  }));
  if (!waiting_connect_ && !output_state_.is_pending) {
    // Writes the hello. A failure here shows up again on the first read or
    // write, which reports it.
    ProcessOutgoingMessages(nullptr, 0, 0);
  }
  return true;
}

bool Channel::ChannelImpl::Send(Message* message) {
  output_queue_.emplace_back(message);
  // Before Connect the message waits behind the hello, which Connect writes.
  if (io_loop_ && !waiting_connect_ && !output_state_.is_pending) {
    return ProcessOutgoingMessages(nullptr, 0, 0);
  }
  return true;
}

void Channel::ChannelImpl::Close() {
  const bool pending = input_state_.is_pending || output_state_.is_pending;
  if (pending && io_loop_) io_loop_->CancelIo(pipe_);
  if (pipe_open()) {
    ipcbase::platform::CloseIoHandle(pipe_);
    pipe_ = kInvalidIoHandle;  // no completion handler starts new IO now
  }
  while (io_loop_ && (input_state_.is_pending || output_state_.is_pending)) {
    io_loop_->WaitForIOCompletion(-1, this);
  }
  output_queue_.clear();
}

void Channel::ChannelImpl::OnIOCompleted(MessageLoopForIO::IOContext* context,
                                         uint32_t bytes_transfered, uint32_t error) {
  bool ok;
  if (context == &input_state_.context) {
    DCHECK(!processing_incoming_);
    processing_incoming_ = true;
    ok = ProcessIncomingMessages(context, bytes_transfered, error);
    processing_incoming_ = false;
  } else {
    DCHECK(context == &output_state_.context);
    ok = ProcessOutgoingMessages(context, bytes_transfered, error);
  }
  if (!ok && pipe_open()) {
    Close();
    listener_->OnChannelError();
  }
}

bool Channel::ChannelImpl::ProcessIncomingMessages(MessageLoopForIO::IOContext* context,
                                                   uint32_t bytes_read, uint32_t error) {
  if (input_state_.is_pending) {
    input_state_.is_pending = false;
    if (!context || bytes_read == 0 || error != 0) {
      // The peer closed the pipe or the read failed. After Close this is
      // the cancelled read, which is not an error of the channel.
      if (pipe_open()) LOG(ERROR) << "pipe error: " << error;
      return false;
    }
    const char* tail;
    const char* end;
    if (input_overflow_buf_.empty()) {
      end = input_buf_ + bytes_read;
      tail = DispatchMessages(input_buf_, end);
      if (!KeepTail(tail, end)) return false;
    } else {
      input_overflow_buf_.append(input_buf_, bytes_read);
      // The buffer may be replaced by KeepTail, so work on a moved-out copy.
      std::string kept = std::move(input_overflow_buf_);
      input_overflow_buf_.clear();
      end = kept.data() + kept.size();
      tail = DispatchMessages(kept.data(), end);
      if (tail == kept.data()) {
        // Nothing completed yet: keep the buffer itself (no copy).
        if (!FitsLimit(tail, end)) return false;
        input_overflow_buf_ = std::move(kept);
        if (input_overflow_buf_.size() >= sizeof(uint32_t)) {
          input_overflow_buf_.reserve(
              static_cast<size_t>(AnnouncedMessageSize(input_overflow_buf_.data())) +
              kReadBufferSize);
        }
      } else if (!KeepTail(tail, end)) {
        return false;
      }
    }
  }

  if (!pipe_open()) return false;
  if (!io_loop_->StartRead(pipe_, input_buf_, kReadBufferSize, &input_state_.context)) {
    const uint32_t start_error = ipcbase::platform::GetLastError();
    if (start_error != ipcbase::platform::kErrorIoPending) {
      LOG(ERROR) << "pipe error: " << start_error;
      return false;
    }
  }
  // The completion arrives through the port, also for a read that finished
  // at once.
  input_state_.is_pending = true;
  return true;
}

const char* Channel::ChannelImpl::DispatchMessages(const char* begin, const char* end) {
  const char* p = begin;
  // A listener that closed the channel hears nothing more from it.
  while (p < end && pipe_open()) {
    const char* next = Message::FindNext(p, end);
    if (!next) break;
    const Message message(p, static_cast<int>(next - p));
    if (message.routing_id() == kRoutingIdNone && message.type() == kHelloMessageType) {
      void* iter = nullptr;
      int peer_pid;
      if (!message.ReadInt(&iter, &peer_pid)) peer_pid = -1;
      listener_->OnChannelConnected(peer_pid);
    } else {
      listener_->OnMessageReceived(message);
    }
    p = next;
  }
  return p;
}

bool Channel::ChannelImpl::FitsLimit(const char* begin, const char* end) {
  // The header tells how much is coming, so a message over the limit is
  // refused as soon as its size is known, before it is buffered.
  if (end - begin < static_cast<ptrdiff_t>(sizeof(uint32_t)) ||
      AnnouncedMessageSize(begin) <= kMaximumMessageSize) {
    return true;
  }
  input_overflow_buf_.clear();
  input_overflow_buf_.shrink_to_fit();
  LOG(ERROR) << "IPC message is too big";
  return false;
}

bool Channel::ChannelImpl::KeepTail(const char* begin, const char* end) {
  if (!FitsLimit(begin, end)) return false;
  const size_t size = static_cast<size_t>(end - begin);
  if (size >= sizeof(uint32_t)) {
    // Room, once, for the whole message and one read beyond it.
    input_overflow_buf_.reserve(static_cast<size_t>(AnnouncedMessageSize(begin)) +
                                kReadBufferSize);
  }
  input_overflow_buf_.assign(begin, size);
  if (size == 0) input_overflow_buf_.shrink_to_fit();
  return true;
}

bool Channel::ChannelImpl::ProcessOutgoingMessages(MessageLoopForIO::IOContext* context,
                                                   uint32_t bytes_written, uint32_t error) {
  DCHECK(!waiting_connect_);
  if (output_state_.is_pending) {
    output_state_.is_pending = false;
    const size_t expected = output_queue_.empty() ? 0 : output_queue_.front()->size();
    if (!context || bytes_written == 0 || error != 0 || bytes_written != expected) {
      // After Close this is the cancelled write, not an error of the channel.
      if (pipe_open()) LOG(ERROR) << "pipe error: " << error;
      return false;
    }
    output_queue_.pop_front();
  }

  if (output_queue_.empty()) return true;
  if (!pipe_open()) return false;

  const Message& front = *output_queue_.front();
  if (front.size() > std::numeric_limits<uint32_t>::max()) {
    LOG(ERROR) << "pipe error: " << ipcbase::platform::kErrorInvalidParameter;
    return false;
  }
  if (!io_loop_->StartWrite(pipe_, front.data(), static_cast<uint32_t>(front.size()),
                            &output_state_.context)) {
    const uint32_t start_error = ipcbase::platform::GetLastError();
    if (start_error != ipcbase::platform::kErrorIoPending) {
      LOG(ERROR) << "pipe error: " << start_error;
      return false;
    }
  }
  output_state_.is_pending = true;
  return true;
}

std::u16string Channel::PipeName(const std::string& channel_id) {
  std::u16string name = u"\\\\.\\pipe\\chrome.";
  for (char c : channel_id) name.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return name;
}

Channel::Channel(const std::string& channel_id, Mode mode, Listener* listener)
    : channel_impl_(std::make_unique<ChannelImpl>(channel_id, mode, listener)) {}

Channel::~Channel() = default;

bool Channel::Connect() { return channel_impl_->Connect(); }

bool Channel::Send(Message* message) { return channel_impl_->Send(message); }

void Channel::Close() { channel_impl_->Close(); }

}  // namespace IPC
