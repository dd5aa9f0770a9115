#include "host/ready_signal.h"

#include "ipc/base/logging.h"
#include "ipc/base/platform/error.h"
#include "ipc/base/platform/io_handle.h"
#include "ipc/base/utf_string_conversions.h"

namespace host {
namespace {

std::u16string SignalPipeName(const std::string& id) {
  return u"\\\\.\\pipe\\vemo.ready." + ipcbase::UTF8ToUTF16(id);
}

constexpr char kReadyByte = 'R';

}  // namespace

std::unique_ptr<ReadyWaiter> ReadyWaiter::Create(const std::string& id) {
  auto server = ipcbase::platform::PipeServer::Create(SignalPipeName(id));
  if (!server) {
    LOG(ERROR) << "host: cannot create the ready signal \"" << id
               << "\": " << ipcbase::platform::GetLastError();
    return nullptr;
  }
  return std::unique_ptr<ReadyWaiter>(new ReadyWaiter(std::move(server)));
}

ReadyWaiter::~ReadyWaiter() = default;

bool ReadyWaiter::Wait(int64_t timeout_ms) {
  ipcbase::platform::IoHandle stream = server_->Accept(timeout_ms);
  if (stream == ipcbase::platform::kInvalidIoHandle) return false;
  // The signaller writes its byte right after connecting.
  char byte = 0;
  const int64_t n = ipcbase::platform::ReadSome(stream, &byte, 1, timeout_ms);
  ipcbase::platform::CloseIoHandle(stream);
  return n == 1 && byte == kReadyByte;
}

bool SignalReady(const std::string& id) {
  ipcbase::platform::IoHandle stream = ipcbase::platform::ConnectToPipe(SignalPipeName(id));
  if (stream == ipcbase::platform::kInvalidIoHandle) return false;
  const bool ok = ipcbase::platform::WriteAll(stream, &kReadyByte, 1);
  ipcbase::platform::CloseIoHandle(stream);
  return ok;
}

}  // namespace host
