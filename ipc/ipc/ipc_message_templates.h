// Typed messages: a message class per catalogue entry, built from these
// templates.
//
//   // An asynchronous control message with two parameters:
//   class FooMsg_Bar : public IPC::ControlMessage<0x10005, int, std::string> {
//    public:
//     using ControlMessage::ControlMessage;
//   };
//   FooMsg_Bar msg(7, "text");                  // routing kRoutingIdControl
//   FooMsg_Bar::Dispatch(&received, &handler, &Handler::OnBar);
//
//   // A synchronous routed message with one input and one output:
//   class FooMsg_Ask : public IPC::SyncRoutedMessage<0x10006, std::tuple<int>,
//                                                    std::tuple<std::string>> {
//    public:
//     using SyncRoutedMessage::SyncRoutedMessage;
//   };
//   std::string answer;
//   FooMsg_Ask request(routing_id, 7, answer);  // answer filled by the reply
//
// Every message built here has PRIORITY_NORMAL. Parameters are written in
// order with the encodings of ipc_message_utils.h.
#ifndef IPC_IPC_IPC_MESSAGE_TEMPLATES_H_
#define IPC_IPC_IPC_MESSAGE_TEMPLATES_H_

#include <cstdint>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "ipc/base/logging.h"
#include "ipc/ipc/ipc_message.h"
#include "ipc/ipc/ipc_message_utils.h"
#include "ipc/ipc/ipc_sync_message.h"

namespace IPC {

// Logs (as a debug check, so nothing with the fixed logging settings) that a
// received message did not decode.
inline void ReportDeserializationError(const Message* msg) {
  NOTREACHED() << "Error deserializing message " << msg->type();
}

// Calls `(obj->*func)(params...)` with the elements of `params`.
template <class T, class Method, class Tuple>
void DispatchToMethod(T* obj, Method func, const Tuple& params) {
  std::apply([obj, func](const auto&... p) { (obj->*func)(p...); }, params);
}

// An asynchronous message whose parameters are the elements of `ParamType`,
// a std::tuple.
template <class ParamType>
class MessageWithTuple : public Message {
 public:
  using Param = ParamType;

  MessageWithTuple(int32_t routing_id, uint32_t type, const Param& p)
      : Message(routing_id, type, PRIORITY_NORMAL) {
    WriteTuple(this, p);
  }

  // Decodes the parameters of a received message from the start of its
  // payload. False at the first parameter that does not decode.
  static bool Read(const Message* msg, Param* p) {
    void* iter = nullptr;
    if (ReadTuple(msg, &iter, p)) return true;
    ReportDeserializationError(msg);
    return false;
  }

  // Reads the parameters and, on success, calls `(obj->*func)(params...)` in
  // order and returns true; returns false without calling when they do not
  // decode.
  template <class T, class Method>
  static bool Dispatch(const Message* msg, T* obj, Method func) {
    Param p;
    if (!Read(msg, &p)) return false;
    DispatchToMethod(obj, func, p);
    return true;
  }
};

// Reads the outputs of a reply straight into the caller's variables.
// `RefTuple` is a std::tuple of references.
template <class RefTuple>
class ParamDeserializer : public MessageReplyDeserializer {
 public:
  explicit ParamDeserializer(const RefTuple& out) : out_(out) {}

 private:
  bool ReadOutputsAt(const Message& reply, void** iter) override {
    return ReadTuple(&reply, iter, &out_);
  }

  RefTuple out_;
};

// The tuple of values behind a tuple of references.
template <class RefTuple>
struct ValueTupleOf;
template <class... Refs>
struct ValueTupleOf<std::tuple<Refs...>> {
  using type = std::tuple<std::remove_cvref_t<Refs>...>;
};

// A synchronous request whose inputs are the elements of `SendParamType` and
// whose outputs are referenced by `ReplyParamType` (a tuple of references).
template <class SendParamType, class ReplyParamType>
class MessageWithReply : public SyncMessage {
 public:
  using SendParam = SendParamType;
  using ReplyParam = ReplyParamType;
  // The outputs as values, as the answering side writes them.
  using ReplyValues = typename ValueTupleOf<ReplyParam>::type;

  // Writes the request id, then the inputs. The reply's outputs will be read
  // into the variables `reply` refers to, which must outlive the send.
  MessageWithReply(int32_t routing_id, uint32_t type, const SendParam& send,
                   const ReplyParam& reply)
      : SyncMessage(routing_id, type, PRIORITY_NORMAL,
                    std::make_unique<ParamDeserializer<ReplyParam>>(reply)) {
    WriteTuple(this, send);
  }

  // Decodes the inputs of a received request, just behind its request id.
  static bool Read(const Message* msg, SendParam* p) {
    void* iter = nullptr;
    int request_id;
    if (msg->ReadInt(&iter, &request_id) && ReadTuple(msg, &iter, p)) return true;
    ReportDeserializationError(msg);
    return false;
  }

  // Reads the inputs and, on success, calls `(obj->*func)(inputs...)` and
  // returns true; false without calling otherwise. The handler answers (or
  // not) on its own, e.g. with SyncMessage::MakeReply and WriteReplyParams.
  template <class T, class Method>
  static bool Dispatch(const Message* msg, T* obj, Method func) {
    SendParam p;
    if (!Read(msg, &p)) return false;
    DispatchToMethod(obj, func, p);
    return true;
  }

  // Appends the outputs to a reply made by SyncMessage::MakeReply.
  static void WriteReplyParams(Message* reply, const ReplyValues& values) {
    WriteTuple(reply, values);
  }

  // Decodes the outputs of a received reply into `values` (what the
  // request's deserializer does into the sender's variables).
  static bool ReadReplyParams(const Message* reply, ReplyValues* values) {
    void* iter = nullptr;
    int request_id;
    return reply->ReadInt(&iter, &request_id) && ReadTuple(reply, &iter, values);
  }
};

// Catalogue building blocks. `kType` is the message type; `ID` repeats it for
// dispatch tables.

// Asynchronous, routing kRoutingIdControl; constructed from the parameters.
template <uint32_t kType, class... Params>
class ControlMessage : public MessageWithTuple<std::tuple<Params...>> {
 public:
  static constexpr uint32_t ID = kType;
  explicit ControlMessage(const Params&... params)
      : MessageWithTuple<std::tuple<Params...>>(kRoutingIdControl, kType,
                                                std::tuple<Params...>(params...)) {}
};

// Asynchronous, addressed to `routing_id`; constructed from the routing id and
// the parameters.
template <uint32_t kType, class... Params>
class RoutedMessage : public MessageWithTuple<std::tuple<Params...>> {
 public:
  static constexpr uint32_t ID = kType;
  explicit RoutedMessage(int32_t routing_id, const Params&... params)
      : MessageWithTuple<std::tuple<Params...>>(routing_id, kType,
                                                std::tuple<Params...>(params...)) {}
};

// Synchronous, routing kRoutingIdControl; constructed from the inputs and
// references to the output variables.
template <uint32_t kType, class Inputs, class Outputs>
class SyncControlMessage;
template <uint32_t kType, class... In, class... Out>
class SyncControlMessage<kType, std::tuple<In...>, std::tuple<Out...>>
    : public MessageWithReply<std::tuple<In...>, std::tuple<Out&...>> {
 public:
  static constexpr uint32_t ID = kType;
  explicit SyncControlMessage(const In&... in, Out&... out)
      : MessageWithReply<std::tuple<In...>, std::tuple<Out&...>>(
            kRoutingIdControl, kType, std::tuple<In...>(in...), std::tuple<Out&...>(out...)) {}
};

// Synchronous, addressed to `routing_id`; constructed from the routing id, the
// inputs and references to the output variables.
template <uint32_t kType, class Inputs, class Outputs>
class SyncRoutedMessage;
template <uint32_t kType, class... In, class... Out>
class SyncRoutedMessage<kType, std::tuple<In...>, std::tuple<Out...>>
    : public MessageWithReply<std::tuple<In...>, std::tuple<Out&...>> {
 public:
  static constexpr uint32_t ID = kType;
  SyncRoutedMessage(int32_t routing_id, const In&... in, Out&... out)
      : MessageWithReply<std::tuple<In...>, std::tuple<Out&...>>(
            routing_id, kType, std::tuple<In...>(in...), std::tuple<Out&...>(out...)) {}
};

}  // namespace IPC

#endif  // IPC_IPC_IPC_MESSAGE_TEMPLATES_H_
