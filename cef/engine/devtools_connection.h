// A DevTools protocol client over an engine transport: messages are JSON
// texts, each ended by a NUL byte.
//
// Two threads of its own: a reader, which splits and parses what the engine
// sends and hands it to the delegate, and a writer, so that sending never
// blocks the caller on the engine. Commands are sent in the order Send was
// called.
#ifndef CEF_ENGINE_DEVTOOLS_CONNECTION_H_
#define CEF_ENGINE_DEVTOOLS_CONNECTION_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "cef/engine/chromium_process.h"
#include "cef/engine/json_util.h"

namespace cef_engine {

class DevToolsConnection {
 public:
  // The answer to a command: its "result" object, or a non-empty error text.
  using ReplyCallback = std::function<void(const Json& result, const std::string& error)>;

  // Called on the reader thread, never after Stop has returned.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // An event: the whole message ({"method", "params", "sessionId"?}).
    virtual void OnEvent(Json message) = 0;
    // The reply to a command sent with a callback; the delegate decides on
    // which thread to run callback.
    virtual void OnReply(ReplyCallback callback, Json result, std::string error) = 0;
    // The engine closed the connection (or it broke); once, after the last
    // message. Not called when Stop ended the connection.
    virtual void OnDisconnected() = 0;
  };

  DevToolsConnection(EngineTransport* transport, Delegate* delegate);
  ~DevToolsConnection();  // Stop()
  DevToolsConnection(const DevToolsConnection&) = delete;
  DevToolsConnection& operator=(const DevToolsConnection&) = delete;

  void Start();

  // Queues a command for session_id (empty: the browser itself); any
  // thread. Returns its id, or 0 when the connection is down (the callback
  // is then never called). A command that fails without a callback is
  // logged.
  int Send(std::string_view method, Json params, const std::string& session_id = std::string(),
           ReplyCallback callback = ReplyCallback());

  // Ends both threads and waits for them. The transport's reads are
  // cancelled; the writer finishes the write in progress (if the engine
  // does not read, the caller must end the engine first). Pending callbacks
  // are dropped. Idempotent.
  void Stop();

  bool connected() const;

  // Bytes and messages received so far (for measurements).
  uint64_t bytes_received() const;

 private:
  struct Pending {
    std::string method;
    ReplyCallback callback;
  };

  void ReadLoop();
  void WriteLoop();
  void Dispatch(const char* data, size_t size);

  EngineTransport* const transport_;
  Delegate* const delegate_;

  mutable std::mutex lock_;
  std::condition_variable wake_writer_;
  std::deque<std::string> outgoing_;
  std::map<int, Pending> pending_;
  int next_id_ = 1;
  bool connected_ = false;
  bool stopping_ = false;
  uint64_t bytes_received_ = 0;

  std::thread reader_;
  std::thread writer_;
};

}  // namespace cef_engine

#endif  // CEF_ENGINE_DEVTOOLS_CONNECTION_H_
