// Log statements and checks.
//
//   LOG(WARNING) << "failed to create pipe: " << error;
//   CHECK(handle_) << "more context";
//   CHECK_LE(count, 64u) << "Can only wait on " << 64 << " with WaitMany";
//   DCHECK(precondition);   // compiled, never evaluated (debug checks are off)
//
// Each statement builds one line in memory and, when it ends, appends it to
// "debug.log" beside the executable (else "./debug.log"), serialised across
// processes by a system-wide mutex. Lines of severity ERROR and above also go
// to standard error. The line format is
//   [MMDD/HHMMSS:SEVERITY:file.cc(123)] text\n
// A failed CHECK logs at FATAL and execution continues after it. Logging
// never changes the caller's last-error value or errno.
#ifndef IPC_BASE_LOGGING_H_
#define IPC_BASE_LOGGING_H_

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>

#include "ipc/base/platform/error.h"

namespace logging {

using LogSeverity = int;
inline constexpr LogSeverity LOG_INFO = 0;
inline constexpr LogSeverity LOG_WARNING = 1;
inline constexpr LogSeverity LOG_ERROR = 2;
inline constexpr LogSeverity LOG_ERROR_REPORT = 3;
inline constexpr LogSeverity LOG_FATAL = 4;
inline constexpr int LOG_NUM_SEVERITIES = 5;

// The fixed settings: every statement is written; debug checks are off.
inline constexpr LogSeverity kMinLogLevel = 0;
inline constexpr bool kEnableDcheck = false;

// The name printed for a severity ("INFO" ... "FATAL"); "UNKNOWN" outside.
const char* SeverityName(LogSeverity severity);

// One statement in progress. Its destructor writes the line.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);
  // A failed comparison check: *result is the "Check failed: ..." text, which
  // the message takes over (and frees).
  LogMessage(const char* file, int line, LogSeverity severity, std::string* result);
  ~LogMessage();
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  std::ostream& stream() { return stream_; }

 private:
  void Init(const char* file, int line);

  LogSeverity severity_;
  std::ostringstream stream_;
  // Saved at the start so that nothing the statement does is seen by the
  // code that logs.
  ipcbase::platform::ScopedPreserveLastError preserved_error_;
};

// Turns a stream expression into void, so that the ?: in the macros below
// has matching branch types.
class LogMessageVoidify {
 public:
  void operator&(std::ostream&) {}
};

// Tests only: every finished line (with its line feed) is also handed to the
// observer, after it has been written. Null removes it. Not thread-safe with
// respect to statements running while it is changed.
using LogObserverForTesting = void (*)(LogSeverity severity, const std::string& line);
void SetLogObserverForTesting(LogObserverForTesting observer);

// Builds "a_text (a vs. b)" for a failed comparison check.
template <typename A, typename B>
std::string* MakeCheckOpString(const A& a, const B& b, const char* names) {
  std::ostringstream ss;
  ss << names << " (" << a << " vs. " << b << ")";
  return new std::string(ss.str());
}

// Integer comparisons are done by value (std::cmp_*), so that a check of a
// size_t against a literal neither warns nor converts -1 to a huge number.
template <typename A, typename B>
constexpr bool kCompareByValue = std::is_integral_v<A> && std::is_integral_v<B> &&
                                 !std::is_same_v<A, bool> && !std::is_same_v<B, bool>;

#define VEMO_DEFINE_CHECK_OP_IMPL(name, op, cmp)                             \
  template <typename A, typename B>                                          \
  inline std::string* Check##name##Impl(const A& a, const B& b,              \
                                        const char* names) {                 \
    bool ok;                                                                 \
    if constexpr (kCompareByValue<A, B>) {                                   \
      ok = std::cmp(a, b);                                                  \
    } else {                                                                 \
      ok = (a op b);                                                         \
    }                                                                        \
    if (ok) return nullptr;                                                  \
    return MakeCheckOpString(a, b, names);                                   \
  }
VEMO_DEFINE_CHECK_OP_IMPL(EQ, ==, cmp_equal)
VEMO_DEFINE_CHECK_OP_IMPL(NE, !=, cmp_not_equal)
VEMO_DEFINE_CHECK_OP_IMPL(LE, <=, cmp_less_equal)
VEMO_DEFINE_CHECK_OP_IMPL(LT, <, cmp_less)
VEMO_DEFINE_CHECK_OP_IMPL(GE, >=, cmp_greater_equal)
VEMO_DEFINE_CHECK_OP_IMPL(GT, >, cmp_greater)
#undef VEMO_DEFINE_CHECK_OP_IMPL

}  // namespace logging

#define VEMO_LAZY_STREAM(stream, condition) \
  !(condition) ? (void)0 : ::logging::LogMessageVoidify() & (stream)

#define VEMO_LOG_STREAM(severity) \
  ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_##severity).stream()

#define LOG_IS_ON(severity) (::logging::LOG_##severity >= ::logging::kMinLogLevel)

#define LOG(severity) VEMO_LAZY_STREAM(VEMO_LOG_STREAM(severity), LOG_IS_ON(severity))

// Always evaluated; on failure logs "Check failed: <condition>. " at FATAL.
#define CHECK(condition)                                        \
  VEMO_LAZY_STREAM(VEMO_LOG_STREAM(FATAL), !(condition))        \
      << "Check failed: " #condition ". "

#define VEMO_CHECK_OP(name, op, a, b)                                          \
  if (std::string* vemo_check_result =                                        \
          ::logging::Check##name##Impl((a), (b), #a " " #op " " #b))          \
  ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_FATAL,              \
                        vemo_check_result)                                    \
      .stream()

#define CHECK_EQ(a, b) VEMO_CHECK_OP(EQ, ==, a, b)
#define CHECK_NE(a, b) VEMO_CHECK_OP(NE, !=, a, b)
#define CHECK_LE(a, b) VEMO_CHECK_OP(LE, <=, a, b)
#define CHECK_LT(a, b) VEMO_CHECK_OP(LT, <, a, b)
#define CHECK_GE(a, b) VEMO_CHECK_OP(GE, >=, a, b)
#define CHECK_GT(a, b) VEMO_CHECK_OP(GT, >, a, b)

// Debug checks: compiled (so the condition must be valid code) but never
// evaluated, because debug checks are switched off.
#define DLOG_IS_ON() (::logging::kEnableDcheck && ::logging::kMinLogLevel <= ::logging::LOG_ERROR_REPORT)
#define DCHECK(condition)                                                 \
  VEMO_LAZY_STREAM(VEMO_LOG_STREAM(ERROR_REPORT),                         \
                   DLOG_IS_ON() && !(condition))                          \
      << "Check failed: " #condition ". "

#define VEMO_DCHECK_OP(name, op, a, b)                                         \
  if (!DLOG_IS_ON()) {                                                        \
  } else if (std::string* vemo_check_result =                                 \
                 ::logging::Check##name##Impl((a), (b), #a " " #op " " #b))   \
  ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_ERROR_REPORT,       \
                        vemo_check_result)                                    \
      .stream()

#define DCHECK_EQ(a, b) VEMO_DCHECK_OP(EQ, ==, a, b)
#define DCHECK_NE(a, b) VEMO_DCHECK_OP(NE, !=, a, b)
#define DCHECK_LE(a, b) VEMO_DCHECK_OP(LE, <=, a, b)
#define DCHECK_LT(a, b) VEMO_DCHECK_OP(LT, <, a, b)
#define DCHECK_GE(a, b) VEMO_DCHECK_OP(GE, >=, a, b)
#define DCHECK_GT(a, b) VEMO_DCHECK_OP(GT, >, a, b)

#define NOTREACHED() DCHECK(false)

#endif  // IPC_BASE_LOGGING_H_
