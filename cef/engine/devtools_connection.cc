#include "cef/engine/devtools_connection.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "ipc/base/logging.h"

namespace cef_engine {

DevToolsConnection::DevToolsConnection(EngineTransport* transport, Delegate* delegate)
    : transport_(transport), delegate_(delegate) {}

DevToolsConnection::~DevToolsConnection() { Stop(); }

void DevToolsConnection::Start() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (connected_ || stopping_) return;
    connected_ = true;
  }
  reader_ = std::thread([this] { ReadLoop(); });
  writer_ = std::thread([this] { WriteLoop(); });
}

int DevToolsConnection::Send(std::string_view method, Json params,
                             const std::string& session_id, ReplyCallback callback) {
  Json message = Json::object();
  std::lock_guard<std::mutex> hold(lock_);
  if (!connected_ || stopping_) return 0;
  int id = next_id_++;
  message["id"] = id;
  message["method"] = method;
  message["params"] = params.is_object() ? std::move(params) : Json::object();
  if (!session_id.empty()) message["sessionId"] = session_id;
  pending_[id] = Pending{std::string(method), std::move(callback)};
  outgoing_.push_back(Serialize(message));
  wake_writer_.notify_one();
  return id;
}

void DevToolsConnection::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
    wake_writer_.notify_one();
  }
  transport_->CancelRead();
  if (reader_.joinable()) reader_.join();
  if (writer_.joinable()) writer_.join();
  std::lock_guard<std::mutex> hold(lock_);
  connected_ = false;
  pending_.clear();
  outgoing_.clear();
}

bool DevToolsConnection::connected() const {
  std::lock_guard<std::mutex> hold(lock_);
  return connected_ && !stopping_;
}

uint64_t DevToolsConnection::bytes_received() const {
  std::lock_guard<std::mutex> hold(lock_);
  return bytes_received_;
}

void DevToolsConnection::WriteLoop() {
  for (;;) {
    std::string message;
    {
      std::unique_lock<std::mutex> hold(lock_);
      wake_writer_.wait(hold, [this] { return stopping_ || !outgoing_.empty() || !connected_; });
      if (stopping_ || !connected_) return;
      message = std::move(outgoing_.front());
      outgoing_.pop_front();
    }
    message.push_back('\0');
    if (!transport_->Write(message.data(), message.size())) {
      // The reader sees the engine go and reports it.
      std::lock_guard<std::mutex> hold(lock_);
      outgoing_.clear();
      return;
    }
  }
}

void DevToolsConnection::ReadLoop() {
  std::vector<char> buffer;
  size_t used = 0;
  size_t scanned = 0;  // bytes of buffer known to hold no NUL
  bool cancelled = false;
  for (;;) {
    if (buffer.size() - used < (1 << 16)) buffer.resize(std::max<size_t>(buffer.size() * 2, 1 << 20));
    long n = transport_->Read(buffer.data() + used, buffer.size() - used);
    if (n <= 0) {
      cancelled = n < 0;
      break;
    }
    used += static_cast<size_t>(n);
    {
      std::lock_guard<std::mutex> hold(lock_);
      bytes_received_ += static_cast<uint64_t>(n);
    }
    size_t start = 0;
    for (;;) {
      void* nul = std::memchr(buffer.data() + scanned, '\0', used - scanned);
      if (!nul) {
        scanned = used;
        break;
      }
      size_t end = static_cast<size_t>(static_cast<char*>(nul) - buffer.data());
      Dispatch(buffer.data() + start, end - start);
      start = end + 1;
      scanned = start;
    }
    if (start > 0) {
      std::memmove(buffer.data(), buffer.data() + start, used - start);
      used -= start;
      scanned -= start;
    }
  }
  bool report;
  {
    std::lock_guard<std::mutex> hold(lock_);
    report = !stopping_;
    connected_ = false;
    pending_.clear();
    wake_writer_.notify_one();
  }
  if (report && !cancelled) delegate_->OnDisconnected();
  if (report && cancelled) {
    LOG(ERROR) << "DevTools connection: read failed";
    delegate_->OnDisconnected();
  }
}

namespace {

// Parses an event whose params begin with a large "data" string (a
// screencast frame): the JSON parser spends far longer on a megabyte of
// base64 than the decoder spends on the image, so the string is cut out,
// the rest parsed, and the string put back as params.data. Returns a
// discarded value for any other message.
Json ParseWithLargeData(const char* data, size_t size) {
  constexpr size_t kLarge = 64 * 1024;
  static constexpr std::string_view kHead = "{\"method\":\"";
  static constexpr std::string_view kParams = "\",\"params\":{\"data\":\"";
  const Json kNone(Json::value_t::discarded);
  std::string_view text(data, size);
  if (size < kLarge || text.substr(0, kHead.size()) != kHead) return kNone;
  size_t method_end = text.find('"', kHead.size());
  if (method_end == std::string_view::npos || method_end > 128 ||
      text.substr(kHead.size(), method_end - kHead.size()).find('\\') != std::string_view::npos ||
      text.substr(method_end, kParams.size()) != kParams) {
    return kNone;
  }
  const size_t begin = method_end + kParams.size();
  const size_t end = text.find('"', begin);
  if (end == std::string_view::npos ||
      text.substr(begin, end - begin).find('\\') != std::string_view::npos) {
    return kNone;
  }
  std::string rest;
  rest.reserve(size - (end - begin));
  rest.append(text.substr(0, begin));
  rest.append(text.substr(end));
  Json message = Json::parse(rest, nullptr, false);
  if (message.is_discarded() || !message.is_object()) return kNone;
  Json& params = message["params"];
  if (!params.is_object()) return kNone;
  params["data"] = std::string(text.substr(begin, end - begin));
  return message;
}

}  // namespace

void DevToolsConnection::Dispatch(const char* data, size_t size) {
  Json message = ParseWithLargeData(data, size);
  if (message.is_discarded()) message = Json::parse(data, data + size, nullptr, false);
  if (message.is_discarded() || !message.is_object()) {
    LOG(WARNING) << "DevTools connection: unreadable message of " << size << " bytes: "
                 << std::string(data, std::min<size_t>(size, 160));
    return;
  }
  const Json* id = Member(message, "id");
  if (!id) {
    if (Member(message, "method")) delegate_->OnEvent(std::move(message));
    return;
  }
  Pending pending;
  {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = id->is_number_integer() ? pending_.find(id->get<int>()) : pending_.end();
    if (it == pending_.end()) return;
    pending = std::move(it->second);
    pending_.erase(it);
  }
  std::string error;
  if (const Json* e = Member(message, "error")) {
    error = GetString(*e, "message", "error");
    if (error.empty()) error = "error";
  }
  if (pending.callback) {
    Json result = Json::object();
    if (const Json* r = Member(message, "result"); r && r->is_object()) {
      result = std::move(message["result"]);
    }
    delegate_->OnReply(std::move(pending.callback), std::move(result), std::move(error));
  } else if (!error.empty()) {
    LOG(WARNING) << "DevTools command " << pending.method << " failed: " << error;
  }
}

}  // namespace cef_engine
