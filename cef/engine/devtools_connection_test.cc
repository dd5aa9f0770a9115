#include "cef/engine/devtools_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace cef_engine {
namespace {

constexpr auto kDeadline = std::chrono::seconds(30);

// An engine in memory: what the client writes is collected as messages;
// what the test feeds is what the client reads.
class MemoryTransport : public EngineTransport {
 public:
  bool Write(const char* data, size_t size) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (closed_) return false;
    written_.append(data, size);
    changed_.notify_all();
    return true;
  }
  long Read(char* buffer, size_t size) override {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return cancelled_ || !incoming_.empty() || eof_; });
    if (cancelled_) return -1;
    if (incoming_.empty()) return 0;
    size_t n = std::min(size, std::min(incoming_.size(), chunk_));
    incoming_.copy(buffer, n);
    incoming_.erase(0, n);
    return static_cast<long>(n);
  }
  void CancelRead() override {
    std::lock_guard<std::mutex> hold(lock_);
    cancelled_ = true;
    changed_.notify_all();
  }

  void Feed(const std::string& bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    incoming_ += bytes;
    changed_.notify_all();
  }
  void EndOfStream() {
    std::lock_guard<std::mutex> hold(lock_);
    eof_ = true;
    closed_ = true;
    changed_.notify_all();
  }
  // Reads are served at most chunk bytes at a time.
  void set_chunk(size_t chunk) {
    std::lock_guard<std::mutex> hold(lock_);
    chunk_ = chunk;
  }
  // Waits for count NUL-terminated messages from the client.
  std::vector<Json> WaitForMessages(size_t count) {
    std::unique_lock<std::mutex> hold(lock_);
    bool ok = changed_.wait_for(hold, kDeadline, [&] {
      return static_cast<size_t>(std::count(written_.begin(), written_.end(), '\0')) >= count;
    });
    EXPECT_TRUE(ok) << "client messages did not arrive";
    std::vector<Json> out;
    size_t start = 0;
    for (size_t i = 0; i < written_.size(); ++i) {
      if (written_[i] == '\0') {
        out.push_back(Json::parse(written_.substr(start, i - start)));
        start = i + 1;
      }
    }
    return out;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::string written_;
  std::string incoming_;
  size_t chunk_ = 1 << 20;
  bool cancelled_ = false;
  bool eof_ = false;
  bool closed_ = false;
};

class RecordingDelegate : public DevToolsConnection::Delegate {
 public:
  void OnEvent(Json message) override {
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back(std::move(message));
    changed_.notify_all();
  }
  void OnReply(DevToolsConnection::ReplyCallback callback, Json result,
               std::string error) override {
    callback(result, error);
    std::lock_guard<std::mutex> hold(lock_);
    ++replies_;
    changed_.notify_all();
  }
  void OnDisconnected() override {
    std::lock_guard<std::mutex> hold(lock_);
    ++disconnects_;
    changed_.notify_all();
  }
  template <typename Pred>
  void WaitFor(Pred pred) {
    std::unique_lock<std::mutex> hold(lock_);
    EXPECT_TRUE(changed_.wait_for(hold, kDeadline, [&] { return pred(); }));
  }
  std::vector<Json> events() {
    std::lock_guard<std::mutex> hold(lock_);
    return events_;
  }
  int replies() {
    std::lock_guard<std::mutex> hold(lock_);
    return replies_;
  }
  int disconnects() {
    std::lock_guard<std::mutex> hold(lock_);
    return disconnects_;
  }
  size_t event_count() { return events_.size(); }  // under lock_ inside WaitFor
  int reply_count() { return replies_; }
  int disconnect_count() { return disconnects_; }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Json> events_;
  int replies_ = 0;
  int disconnects_ = 0;
};

TEST(DevToolsConnectionTest, CommandsCarryIdMethodParamsAndSession) {
  MemoryTransport transport;
  RecordingDelegate delegate;
  DevToolsConnection connection(&transport, &delegate);
  connection.Start();
  int a = connection.Send("Browser.getVersion", Json::object());
  int b = connection.Send("Page.navigate", {{"url", "about:blank"}}, "S1");
  EXPECT_GT(a, 0);
  EXPECT_GT(b, a);
  std::vector<Json> sent = transport.WaitForMessages(2);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], Json({{"id", a}, {"method", "Browser.getVersion"}, {"params", Json::object()}}));
  EXPECT_EQ(sent[1], Json({{"id", b}, {"method", "Page.navigate"},
                           {"params", {{"url", "about:blank"}}}, {"sessionId", "S1"}}));
}

TEST(DevToolsConnectionTest, RepliesAndEventsArriveWhateverTheReadSizes) {
  for (size_t chunk : {size_t{1}, size_t{7}, size_t{1} << 20}) {
    MemoryTransport transport;
    transport.set_chunk(chunk);
    RecordingDelegate delegate;
    DevToolsConnection connection(&transport, &delegate);
    connection.Start();
    std::string got_result, got_error;
    int ok_id = connection.Send("A.ok", Json::object(), "", [&](const Json& r, const std::string& e) {
      got_result = GetString(r, "value");
      EXPECT_TRUE(e.empty());
    });
    int bad_id = connection.Send("A.bad", Json::object(), "", [&](const Json&, const std::string& e) {
      got_error = e;
    });
    std::string stream;
    stream += "{\"method\":\"X.one\",\"params\":{\"n\":1}}";
    stream += '\0';
    stream += "not json";
    stream += '\0';
    stream += "{\"id\":" + std::to_string(ok_id) + ",\"result\":{\"value\":\"v\"}}";
    stream += '\0';
    stream += "{\"id\":" + std::to_string(bad_id) + ",\"error\":{\"code\":-32000,\"message\":\"nope\"}}";
    stream += '\0';
    stream += "{\"id\":9999,\"result\":{}}";  // unknown id: ignored
    stream += '\0';
    stream += "{\"method\":\"X.two\",\"params\":{},\"sessionId\":\"S\"}";
    stream += '\0';
    transport.Feed(stream);
    delegate.WaitFor([&] { return delegate.event_count() == 2 && delegate.reply_count() == 2; });
    std::vector<Json> events = delegate.events();
    ASSERT_EQ(events.size(), 2u) << "chunk " << chunk;
    EXPECT_EQ(GetString(events[0], "method"), "X.one");
    EXPECT_EQ(GetString(events[1], "sessionId"), "S");
    EXPECT_EQ(got_result, "v");
    EXPECT_EQ(got_error, "nope");
  }
}

TEST(DevToolsConnectionTest, LargeDataStringsArriveIntact) {
  MemoryTransport transport;
  RecordingDelegate delegate;
  DevToolsConnection connection(&transport, &delegate);
  connection.Start();
  std::string big(200000, 'A');
  for (size_t i = 0; i < big.size(); i += 7) big[i] = "+/09az"[i % 6];
  std::string stream =
      "{\"method\":\"Page.screencastFrame\",\"params\":{\"data\":\"" + big +
      "\",\"metadata\":{\"deviceWidth\":8},\"sessionId\":5},\"sessionId\":\"S\"}";
  stream += '\0';
  // The same shape with an escape in the string, and a "data" that is not
  // params.data: both take the ordinary path.
  std::string escaped = "{\"method\":\"X.y\",\"params\":{\"data\":\"a\\\"b" + big + "\"}}";
  escaped += '\0';
  std::string nested =
      "{\"method\":\"X.z\",\"params\":{\"inner\":{\"data\":\"" + big + "\"},\"data\":\"\"}}";
  nested += '\0';
  transport.Feed(stream + escaped + nested);
  delegate.WaitFor([&] { return delegate.event_count() == 3; });
  std::vector<Json> events = delegate.events();
  ASSERT_EQ(events.size(), 3u);
  const Json& p = GetObject(events[0], "params");
  EXPECT_TRUE(GetString(p, "data") == big);
  EXPECT_EQ(GetInt(p, "sessionId"), 5);
  EXPECT_EQ(GetInt(GetObject(p, "metadata"), "deviceWidth"), 8);
  EXPECT_EQ(GetString(events[0], "sessionId"), "S");
  EXPECT_TRUE(GetString(GetObject(events[1], "params"), "data") == "a\"b" + big);
  EXPECT_TRUE(GetString(GetObject(GetObject(events[2], "params"), "inner"), "data") == big);
  EXPECT_EQ(GetString(GetObject(events[2], "params"), "data"), "");
}

TEST(DevToolsConnectionTest, EndOfStreamIsReportedOnceAndSendingFails) {
  MemoryTransport transport;
  RecordingDelegate delegate;
  DevToolsConnection connection(&transport, &delegate);
  connection.Start();
  bool called = false;
  connection.Send("A.never", Json::object(), "", [&](const Json&, const std::string&) { called = true; });
  transport.EndOfStream();
  delegate.WaitFor([&] { return delegate.disconnect_count() == 1; });
  EXPECT_FALSE(connection.connected());
  EXPECT_EQ(connection.Send("A.late", Json::object()), 0);
  connection.Stop();
  EXPECT_EQ(delegate.disconnects(), 1);
  EXPECT_FALSE(called);
}

TEST(DevToolsConnectionTest, StopEndsQuietly) {
  MemoryTransport transport;
  RecordingDelegate delegate;
  DevToolsConnection connection(&transport, &delegate);
  connection.Start();
  connection.Send("A.pending", Json::object(), "", [](const Json&, const std::string&) {
    ADD_FAILURE() << "callback after Stop";
  });
  connection.Stop();
  connection.Stop();
  EXPECT_EQ(delegate.disconnects(), 0);
  EXPECT_EQ(connection.Send("A.after", Json::object()), 0);
}

TEST(DevToolsConnectionTest, ConcurrentSendersKeepTheirOwnOrder) {
  MemoryTransport transport;
  RecordingDelegate delegate;
  DevToolsConnection connection(&transport, &delegate);
  connection.Start();
  constexpr int kThreads = 4, kEach = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        connection.Send("T.m", {{"thread", t}, {"i", i}});
      }
    });
  }
  for (auto& th : threads) th.join();
  std::vector<Json> sent = transport.WaitForMessages(kThreads * kEach);
  ASSERT_EQ(sent.size(), static_cast<size_t>(kThreads * kEach));
  std::vector<int> next(kThreads, 0);
  std::set<int64_t> ids;
  for (const Json& m : sent) {
    const Json& p = GetObject(m, "params");
    int t = static_cast<int>(GetInt(p, "thread"));
    EXPECT_EQ(GetInt(p, "i"), next[static_cast<size_t>(t)]++);
    ids.insert(GetInt(m, "id"));
  }
  EXPECT_EQ(ids.size(), sent.size());
}

}  // namespace
}  // namespace cef_engine
