#include "protocol/view_messages.h"

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/base/logging.h"
#include "ipc/base/test/test_bytes.h"

namespace {

using IPC::Message;
using IPC::SyncMessage;
using ipcbase::test::ExactBytes;
using ipcbase::test::Hex;
using ipcbase::test::HexOfInt;
using ipcbase::test::NormalHex;
using ipcbase::test::Serialized;
using ipcbase::test::SerializedHex;
using ipcbase::test::ToHex;
using ReturnVal = ViewHostMsg_OnJavascriptCallback_ReturnVal;
using JsParams = ViewHostMsg_OnJavascriptCallback_Params;

// Replaces "<id>" in a hex template by the request id's bytes.
std::string WithRequestId(std::string hex, const Message& m) {
  const size_t at = hex.find("<id>");
  if (at != std::string::npos) {
    hex.replace(at, 4, HexOfInt(static_cast<uint32_t>(SyncMessage::GetRequestId(m))));
  }
  return NormalHex(hex);
}

// Records what a Dispatch delivered.
template <class Tuple>
struct Recorder;
template <class... Ts>
struct Recorder<std::tuple<Ts...>> {
  void On(const Ts&... params) {
    ++calls;
    got.emplace(params...);
  }
  int calls = 0;
  std::optional<std::tuple<Ts...>> got;
};

// The bytes of `serialized` with its payload cut to `payload_bytes` and the
// payload size fixed up to match: a well-framed but truncated message.
std::string Truncated(const std::string& serialized, size_t payload_bytes) {
  std::string out = serialized.substr(0, 16 + payload_bytes);
  const uint32_t size = static_cast<uint32_t>(payload_bytes);
  std::memcpy(out.data(), &size, 4);
  return out;
}

struct CatalogueCase {
  std::string name;
  std::function<std::unique_ptr<Message>()> make;
  std::string bytes;  // hex; "<id>" stands for the request id
  // Reads and dispatches a received copy; true when both give the sample's
  // parameters, and `calls` how often the handler ran.
  std::function<bool(const Message&, int* calls)> read_back;
};

// The parameters among a message's constructor arguments: all of them for a
// control message, all but the leading routing id for a routed one.
template <class M, class... Args>
typename M::Param ParamsOf(Args... args) {
  using Param = typename M::Param;
  if constexpr (sizeof...(Args) == std::tuple_size_v<Param>) {
    return Param(args...);
  } else {
    return [](int32_t, auto... rest) { return Param(rest...); }(args...);
  }
}

// An asynchronous message built from `args`: Read and Dispatch must give back
// exactly the parameters among them.
template <class M, class... Args>
CatalogueCase Async(std::string name, std::string bytes, Args... args) {
  return {std::move(name), [args...] { return std::make_unique<M>(args...); }, std::move(bytes),
          [args...](const Message& received, int* calls) {
            const typename M::Param expected = ParamsOf<M>(args...);
            typename M::Param read;
            const bool read_ok = M::Read(&received, &read) && read == expected;
            Recorder<typename M::Param> recorder;
            const bool dispatched =
                M::Dispatch(&received, &recorder, &Recorder<typename M::Param>::On);
            *calls = recorder.calls;
            return read_ok && dispatched && recorder.got == expected;
          }};
}

// A synchronous request; `make` builds it with throw-away outputs.
template <class M>
CatalogueCase Sync(std::string name, std::string bytes,
                   std::function<std::unique_ptr<M>()> make, typename M::SendParam expected) {
  return {std::move(name), [make] { return std::unique_ptr<Message>(make()); }, std::move(bytes),
          [expected](const Message& received, int* calls) {
            typename M::SendParam read;
            const bool read_ok = M::Read(&received, &read) && read == expected;
            Recorder<typename M::SendParam> recorder;
            const bool dispatched =
                M::Dispatch(&received, &recorder, &Recorder<typename M::SendParam>::On);
            *calls = recorder.calls;
            return read_ok && dispatched && recorder.got == expected;
          }};
}

// Outputs the synchronous samples write into; never read by these tests.
ReturnVal g_return_value;
std::vector<char> g_image;
std::string g_channel_name;

const ViewMsg_Tile_Params kTwoTiles{{{0, 0, 16, 16}, {16, 0, 16, 16}}};

std::vector<CatalogueCase> Catalogue() {
  return {
      // --- host to sub-process -----------------------------------------
      Async<ViewMsg_CreateWindow>(
          "ViewMsg_CreateWindow",
          "46000000 ffffff7f 00000100 02000000"
          "05000000 80070000 38040000 04000000 0000a03f"
          "02000000 00000000 00000000 10000000 10000000 10000000 00000000 10000000 10000000"
          "0a000000 76656d6f5f73686d5f35",
          5u, 1920u, 1080u, 1.25f, kTwoTiles, std::string("vemo_shm_5")),
      Async<ViewMsg_CreateWindow>(
          "ViewMsg_CreateWindow without tiles: a 0 count, then the string",
          "1d000000 ffffff7f 00000100 02000000"
          "05000000 80070000 38040000 04000000 0000a03f 00000000 01000000 73",
          5u, 1920u, 1080u, 1.25f, ViewMsg_Tile_Params{}, std::string("s")),
      Async<ViewMsg_DestroyWindow>("ViewMsg_DestroyWindow",
                                   "04000000 ffffff7f 01000100 02000000 05000000", 5u),
      Async<ViewMsg_MouseMoved>("ViewMsg_MouseMoved",
                                "18000000 07000000 02000100 02000000"
                                "0002000000000000 0100000000000000 4000500000000000",
                                7, uint64_t{0x200}, uint64_t{1}, uint64_t{0x00500040}),
      Async<ViewMsg_MouseButton>("ViewMsg_MouseButton",
                                 "18000000 07000000 03000100 02000000"
                                 "0102000000000000 0100000000000000 1000200000000000",
                                 7, uint64_t{0x201}, uint64_t{1}, uint64_t{0x00200010}),
      Async<ViewMsg_MouseWheel>("ViewMsg_MouseWheel",
                                "08000000 07000000 04000100 02000000 88ffffff 00000000", 7, -120,
                                0),
      Async<ViewMsg_KeyEvent>("ViewMsg_KeyEvent",
                              "20000000 07000000 05000100 02000000"
                              "0001000000000000 4100000000000000 01001e0000000000 0200000000000000",
                              7, uint64_t{0x100}, uint64_t{0x41}, uint64_t{0x001e0001},
                              uint64_t{2}),
      Async<ViewMsg_NavigateTo>("ViewMsg_NavigateTo",
                                "0d000000 07000000 06000100 02000000 09000000 687474703a2f2f612f",
                                7, std::string("http://a/")),
      Async<ViewMsg_ExecuteJavascript>(
          "ViewMsg_ExecuteJavascript",
          "0c000000 07000000 07000100 02000000 04000000 67006f0028002900", 7, string16(u"go()")),
      Async<ViewMsg_AddBindOnStartLoading>(
          "ViewMsg_AddBindOnStartLoading",
          "0c000000 07000000 08000100 02000000 02000000 63006200 01000000", 7, string16(u"cb"),
          true),
      Async<ViewMsg_CloseSharedMemory>("ViewMsg_CloseSharedMemory: empty payload",
                                       "00000000 07000000 09000100 02000000", 7),
      Async<ViewMsg_ResizeWindow>("ViewMsg_ResizeWindow",
                                  "29000000 07000000 0a000100 02000000"
                                  "20030000 58020000 04000000 00000040"
                                  "01000000 00000000 00000000 20030000 58020000 01000000 73",
                                  7, 800u, 600u, 2.0f,
                                  ViewMsg_Tile_Params{{{0, 0, 800, 600}}}, std::string("s")),
      // --- sub-process to host -----------------------------------------
      Async<ViewHostMsg_DebugOutput>(
          "ViewHostMsg_DebugOutput",
          "0b000000 ffffff7f 00000200 02000000 03000000 03000000 646267", 3, std::string("dbg")),
      Async<ViewHostMsg_OnLoadingStateChanged>(
          "ViewHostMsg_OnLoadingStateChanged",
          "04000000 07000000 01000200 02000000 01000000", 7, true),
      Async<ViewHostMsg_OnJavascriptCallbackAsync>(
          "ViewHostMsg_OnJavascriptCallbackAsync",
          "16000000 01000000 02000200 02000000 01000000 66000000 02000000 61006200 02000000 6331",
          kRoutingIdJavascriptCallback, JsParams{u"f", u"ab", "c1"}),
      Sync<ViewHostMsg_OnJavascriptCallbackSync>(
          "ViewHostMsg_OnJavascriptCallbackSync",
          "16000000 01000000 03000200 26000000 <id> 01000000 66000000 00000000 02000000 6331",
          [] {
            return std::make_unique<ViewHostMsg_OnJavascriptCallbackSync>(
                kRoutingIdJavascriptCallback, JsParams{u"f", u"", "c1"}, g_return_value);
          },
          std::make_tuple(JsParams{u"f", u"", "c1"})),
      Async<ViewHostMsg_OnAddressBarChanged>(
          "ViewHostMsg_OnAddressBarChanged",
          "0d000000 07000000 04000200 02000000 09000000 687474703a2f2f612f", 7,
          std::string("http://a/")),
      Async<ViewHostMsg_OnProvisionalLoadError>(
          "ViewHostMsg_OnProvisionalLoadError",
          "24000000 07000000 05000200 02000000"
          "09000000 687474703a2f2f782f 000000 97ffffff 03000000 450052005200 0000 01000000",
          7, std::string("http://x/"), -105, string16(u"ERR"), true),
      Async<ViewHostMsg_OnConsoleMessage>(
          "ViewHostMsg_OnConsoleMessage",
          "18000000 07000000 06000200 02000000"
          "02000000 68006900 04000000 73002e006a007300 0c000000",
          7, string16(u"hi"), string16(u"s.js"), 12),
      Async<ViewHostMsg_OnScriptAlert>(
          "ViewHostMsg_OnScriptAlert",
          "24000000 07000000 07000200 02000000"
          "03000000 6d0073006700 0000 00000000 09000000 687474703a2f2f6f2f 000000 00000000",
          7, string16(u"msg"), string16(), std::string("http://o/"), 0),
      Async<ViewHostMsg_OnTitleChanged>("ViewHostMsg_OnTitleChanged",
                                        "06000000 07000000 08000200 02000000 01000000 5400", 7,
                                        string16(u"T")),
      Async<ViewHostMsg_OnTooltipChanged>(
          "ViewHostMsg_OnTooltipChanged",
          "0a000000 07000000 09000200 02000000 03000000 740069007000", 7, string16(u"tip")),
      Async<ViewHostMsg_OnCreatedWindow>("ViewHostMsg_OnCreatedWindow: empty payload",
                                         "00000000 07000000 0a000200 02000000", 7),
      Async<ViewHostMsg_OnCursorUpdated>(
          "ViewHostMsg_OnCursorUpdated",
          "08000000 07000000 0b000200 02000000 0300010000000000", 7, uint64_t{0x10003}),
      Sync<ViewHostMsg_GetAchievementImage>(
          "ViewHostMsg_GetAchievementImage",
          "08000000 ffffff7f 0c000200 26000000 <id> 2a000000",
          [] { return std::make_unique<ViewHostMsg_GetAchievementImage>(42u, g_image); },
          std::make_tuple(42u)),
      Sync<ViewHostMsg_CreateIpcChannel>(
          "ViewHostMsg_CreateIpcChannel: the request id alone",
          "04000000 ffffff7f 0d000200 26000000 <id>",
          [] { return std::make_unique<ViewHostMsg_CreateIpcChannel>(g_channel_name); },
          std::tuple<>()),
  };
}

TEST(ViewMessagesTest, EveryCatalogueMessageHasItsExactBytesAndReadsBack) {
  for (const CatalogueCase& c : Catalogue()) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Message> sent = c.make();
    EXPECT_EQ(SerializedHex(*sent), WithRequestId(c.bytes, *sent));
    EXPECT_EQ(sent->priority(), Message::PRIORITY_NORMAL);
    EXPECT_EQ(sent->flags(), sent->is_sync() ? 0x26u : 0x02u);

    ExactBytes bytes(Serialized(*sent));
    Message received(bytes.data(), bytes.size());
    ASSERT_NE(received.data(), nullptr);
    int calls = -1;
    EXPECT_TRUE(c.read_back(received, &calls));
    EXPECT_EQ(calls, 1);
  }
}

TEST(ViewMessagesTest, EveryTruncatedPayloadFailsToReadAndCallsNoHandler) {
  for (const CatalogueCase& c : Catalogue()) {
    SCOPED_TRACE(c.name);
    const std::string whole = Serialized(*c.make());
    const size_t payload = whole.size() - 16;
    for (size_t n = 0; n < payload; ++n) {
      SCOPED_TRACE(n);
      ExactBytes bytes(Truncated(whole, n));
      Message received(bytes.data(), bytes.size());
      int calls = -1;
      EXPECT_FALSE(c.read_back(received, &calls));
      EXPECT_EQ(calls, 0);
    }
  }
}

TEST(ViewMessagesTest, CreateWindowStoppingAfterTheFloatFailsAtTheTileList) {
  const ViewMsg_CreateWindow sent(5u, 1920u, 1080u, 1.25f, kTwoTiles, "vemo_shm_5");
  // routing_id, width, height, float: 4 + 4 + 4 + 8 payload bytes.
  ExactBytes bytes(Truncated(Serialized(sent), 20));
  Message received(bytes.data(), bytes.size());
  ViewMsg_CreateWindow::Param p;
  EXPECT_FALSE(ViewMsg_CreateWindow::Read(&received, &p));
  EXPECT_EQ(std::get<3>(p), 1.25f);  // read before the failure

  Recorder<ViewMsg_CreateWindow::Param> recorder;
  EXPECT_FALSE(ViewMsg_CreateWindow::Dispatch(&received, &recorder,
                                              &Recorder<ViewMsg_CreateWindow::Param>::On));
  EXPECT_EQ(recorder.calls, 0);
}

TEST(ViewMessagesTest, MalformedParametersFailToRead) {
  const struct {
    const char* name;
    const char* bytes;
    std::function<bool(const Message*)> read;
  } cases[] = {
      {"float of 8 bytes",
       "1c000000 07000000 0a000100 02000000 20030000 58020000 08000000 0000000000000040"
       "00000000 00000000",
       [](const Message* m) {
         ViewMsg_ResizeWindow::Param p;
         return ViewMsg_ResizeWindow::Read(m, &p);
       }},
      {"tile count 134217727",
       "18000000 07000000 0a000100 02000000 20030000 58020000 04000000 00000040"
       "ffffff07 00000000",
       [](const Message* m) {
         ViewMsg_ResizeWindow::Param p;
         return ViewMsg_ResizeWindow::Read(m, &p);
       }},
      {"negative tile count",
       "18000000 07000000 0a000100 02000000 20030000 58020000 04000000 00000040"
       "ffffffff 00000000",
       [](const Message* m) {
         ViewMsg_ResizeWindow::Param p;
         return ViewMsg_ResizeWindow::Read(m, &p);
       }},
      {"url with a huge length",
       "08000000 07000000 06000100 02000000 ffffff7f 61626364",
       [](const Message* m) {
         ViewMsg_NavigateTo::Param p;
         return ViewMsg_NavigateTo::Read(m, &p);
       }},
      {"sync request without its request id",
       "02000000 ffffff7f 0c000200 26000000 2a00",
       [](const Message* m) {
         ViewHostMsg_GetAchievementImage::SendParam p;
         return ViewHostMsg_GetAchievementImage::Read(m, &p);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExactBytes bytes(Hex(c.bytes));
    Message received(bytes.data(), bytes.size());
    ASSERT_NE(received.data(), nullptr);
    EXPECT_FALSE(c.read(&received));
  }
}

// The reports of a failed read are debug checks, switched off: a malformed
// message from the peer writes nothing to the log.
std::vector<std::string>* g_log_lines = nullptr;
void CollectLogLine(logging::LogSeverity, const std::string& line) {
  if (g_log_lines) g_log_lines->push_back(line);
}

TEST(ViewMessagesTest, AFailedReadWritesNothingToTheLog) {
  std::vector<std::string> lines;
  g_log_lines = &lines;
  logging::SetLogObserverForTesting(&CollectLogLine);
  ExactBytes bytes(Hex("06000000 07000000 0a000100 02000000 20030000 5802"));
  Message received(bytes.data(), bytes.size());
  ViewMsg_ResizeWindow::Param p;
  EXPECT_FALSE(ViewMsg_ResizeWindow::Read(&received, &p));
  logging::SetLogObserverForTesting(nullptr);
  g_log_lines = nullptr;
  EXPECT_TRUE(lines.empty());
}

// --- Synchronous replies --------------------------------------------------------

TEST(ViewMessagesTest, SyncRepliesHaveTheirExactBytesAndFillTheOutputs) {
  {
    SCOPED_TRACE("ViewHostMsg_OnJavascriptCallbackSync");
    ReturnVal result;
    ViewHostMsg_OnJavascriptCallbackSync request(kRoutingIdJavascriptCallback,
                                                 JsParams{u"f", u"x", "c"}, result);
    std::unique_ptr<Message> reply = SyncMessage::MakeReply(request);
    ViewHostMsg_OnJavascriptCallbackSync::WriteReplyParams(
        reply.get(), std::make_tuple(ReturnVal{ReturnVal::TYPE_STRING, u"ok"}));
    EXPECT_EQ(SerializedHex(*reply),
              WithRequestId("10000000 01000000 f0ffffff 0a000000 <id> 01000000 02000000 6f006b00",
                            request));
    ExactBytes bytes(Serialized(*reply));
    Message received(bytes.data(), bytes.size());
    ASSERT_TRUE(SyncMessage::IsReplyTo(received, SyncMessage::GetRequestId(request)));
    ASSERT_TRUE(request.TakeReplyDeserializer()->ReadOutputs(received));
    EXPECT_EQ(result, (ReturnVal{ReturnVal::TYPE_STRING, u"ok"}));
  }
  {
    SCOPED_TRACE("ViewHostMsg_GetAchievementImage");
    std::vector<char> image;
    ViewHostMsg_GetAchievementImage request(42u, image);
    std::unique_ptr<Message> reply = SyncMessage::MakeReply(request);
    ViewHostMsg_GetAchievementImage::WriteReplyParams(
        reply.get(), std::make_tuple(std::vector<char>{'\x89', 'P', 'N', 'G'}));
    EXPECT_EQ(SerializedHex(*reply),
              WithRequestId("0c000000 ffffff7f f0ffffff 0a000000 <id> 04000000 89504e47", request));
    ExactBytes bytes(Serialized(*reply));
    Message received(bytes.data(), bytes.size());
    ASSERT_TRUE(request.TakeReplyDeserializer()->ReadOutputs(received));
    EXPECT_EQ(image, (std::vector<char>{'\x89', 'P', 'N', 'G'}));
  }
  {
    SCOPED_TRACE("ViewHostMsg_CreateIpcChannel");
    std::string channel;
    ViewHostMsg_CreateIpcChannel request(channel);
    std::unique_ptr<Message> reply = SyncMessage::MakeReply(request);
    ViewHostMsg_CreateIpcChannel::WriteReplyParams(reply.get(), std::make_tuple(std::string("chan")));
    EXPECT_EQ(SerializedHex(*reply),
              WithRequestId("0c000000 ffffff7f f0ffffff 0a000000 <id> 04000000 6368616e", request));
    ExactBytes bytes(Serialized(*reply));
    Message received(bytes.data(), bytes.size());
    ASSERT_TRUE(request.TakeReplyDeserializer()->ReadOutputs(received));
    EXPECT_EQ(channel, "chan");
  }
}

TEST(ViewMessagesTest, ErrorReplyCarriesOnlyTheRequestId) {
  std::vector<char> image;
  ViewHostMsg_GetAchievementImage request(42u, image);
  std::unique_ptr<Message> reply = SyncMessage::MakeReply(request);
  reply->set_reply_error();
  EXPECT_EQ(SerializedHex(*reply),
            WithRequestId("04000000 ffffff7f f0ffffff 1a000000 <id>", request));
  EXPECT_TRUE(SyncMessage::IsReplyTo(*reply, SyncMessage::GetRequestId(request)));
  EXPECT_TRUE(reply->is_reply_error());
  // Reading the (absent) outputs of an error reply fails.
  EXPECT_FALSE(request.TakeReplyDeserializer()->ReadOutputs(*reply));
}

TEST(ViewMessagesTest, ReplyWhoseReturnValueFailsKeepsItsType) {
  ReturnVal result;
  ViewHostMsg_OnJavascriptCallbackSync request(kRoutingIdJavascriptCallback, JsParams{}, result);
  // type 4 (double), then a data item of 4 bytes.
  ExactBytes bytes(Hex("0c000000 01000000 f0ffffff 0a000000" +
                       HexOfInt(static_cast<uint32_t>(SyncMessage::GetRequestId(request))) +
                       "04000000 04000000"));
  Message received(bytes.data(), bytes.size());
  EXPECT_FALSE(request.TakeReplyDeserializer()->ReadOutputs(received));
  EXPECT_EQ(result.type, ReturnVal::TYPE_DOUBLE);
  EXPECT_EQ(result.double_value, 0.0);
}

}  // namespace
