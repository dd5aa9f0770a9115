#include "ipc/base/logging.h"

#include <cstdio>
#include <memory>
#include <mutex>

#include "ipc/base/platform/clock.h"
#include "ipc/base/platform/log_file.h"
#include "ipc/base/platform/process.h"

namespace logging {
namespace {

const char* const kSeverityNames[LOG_NUM_SEVERITIES] = {"INFO", "WARNING", "ERROR",
                                                         "ERROR_REPORT", "FATAL"};

// The process-wide log file state: made on first use by whichever thread logs
// first, retried by later statements while it cannot be made, and kept until
// the process ends (never destroyed, so that statements from static
// destructors still find it).
class LogFileState {
 public:
  static LogFileState& Get() {
    static LogFileState* state = new LogFileState();
    return *state;
  }

  // Appends one whole line under the system-wide lock.
  void Write(const std::string& line) {
    ipcbase::platform::SystemMutex* mutex = EnsureMutex();
    if (mutex) mutex->Acquire();
    if (ipcbase::platform::AppendFile* file = EnsureFile()) file->Append(line);
    if (mutex) mutex->Release();
  }

 private:
  LogFileState() {
    std::filesystem::path exe = ipcbase::platform::ExecutablePath();
    default_path_ = exe.empty() ? std::filesystem::path("debug.log")
                                : exe.parent_path() / "debug.log";
  }

  ipcbase::platform::SystemMutex* EnsureMutex() {
    std::lock_guard<std::mutex> hold(init_lock_);
    if (!mutex_) {
      // A backslash may not appear in a mutex name; "Global\" puts the mutex
      // in the namespace that every session shares.
      std::u16string name = u"Global\\";
      for (char16_t c : default_path_.generic_u16string()) name += (c == u'\\') ? u'/' : c;
      mutex_ = ipcbase::platform::SystemMutex::Create(name);
    }
    return mutex_.get();
  }

  ipcbase::platform::AppendFile* EnsureFile() {
    std::lock_guard<std::mutex> hold(init_lock_);
    if (!file_) {
      file_ = ipcbase::platform::AppendFile::Open(default_path_);
      if (!file_) file_ = ipcbase::platform::AppendFile::Open(std::filesystem::path(".") / "debug.log");
    }
    return file_.get();
  }

  std::filesystem::path default_path_;
  std::mutex init_lock_;
  std::unique_ptr<ipcbase::platform::SystemMutex> mutex_;
  std::unique_ptr<ipcbase::platform::AppendFile> file_;
};

LogObserverForTesting g_observer = nullptr;

// The source file's base name: the compiled-in path after its last separator.
const char* BaseName(const char* file) {
  const char* base = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  return base;
}

}  // namespace

const char* SeverityName(LogSeverity severity) {
  if (severity >= 0 && severity < LOG_NUM_SEVERITIES) return kSeverityNames[severity];
  return "UNKNOWN";
}

void SetLogObserverForTesting(LogObserverForTesting observer) { g_observer = observer; }

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity_(severity) {
  Init(file, line);
}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity, std::string* result)
    : severity_(severity) {
  Init(file, line);
  stream_ << "Check failed: " << *result;
  delete result;
}

void LogMessage::Init(const char* file, int line) {
  ipcbase::platform::LocalTimeFields now = ipcbase::platform::LocalTimeNow();
  char prefix[32];
  std::snprintf(prefix, sizeof(prefix), "[%02d%02d/%02d%02d%02d:", now.month, now.day,
                now.hour, now.minute, now.second);
  stream_ << prefix << SeverityName(severity_) << ':' << BaseName(file) << '(' << line
          << ")] ";
}

LogMessage::~LogMessage() {
  if (severity_ < kMinLogLevel) return;
  stream_ << '\n';
  std::string line = stream_.str();
  if (severity_ >= LOG_ERROR) ipcbase::platform::WriteToStandardError(line);
  LogFileState::Get().Write(line);
  if (g_observer) g_observer(severity_, line);
  // A fatal statement would break into an attached debugger here; this system
  // installs no handler, and execution continues after the statement.
  // preserved_error_ restores the caller's error state as the message dies.
}

}  // namespace logging
