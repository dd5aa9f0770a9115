#include "ipc/base/test/child_process.h"

#include "ipc/base/platform/windows_win.h"
#include "ipc/base/utf_string_conversions.h"

namespace ipcbase::test {
namespace {

// Appends one argument quoted the way CommandLineToArgvW and the C runtime
// split a command line: quotes around it when it is empty or holds a blank or
// a quote; backslashes doubled where they come before a quote.
void AppendQuoted(const std::u16string& arg, std::u16string* line) {
  if (!line->empty()) *line += u' ';
  if (!arg.empty() && arg.find_first_of(u" \t\n\v\"") == std::u16string::npos) {
    *line += arg;
    return;
  }
  *line += u'"';
  size_t backslashes = 0;
  for (char16_t c : arg) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"') backslashes = backslashes * 2 + 1;  // escape them and the quote
    line->append(backslashes, u'\\');
    backslashes = 0;
    *line += c;
  }
  line->append(backslashes * 2, u'\\');  // before the closing quote
  *line += u'"';
}

class WinChildProcess final : public ChildProcess {
 public:
  explicit WinChildProcess(const PROCESS_INFORMATION& info) : info_(info) {}
  ~WinChildProcess() override {
    if (!exited_ && ::WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
      ::TerminateProcess(info_.hProcess, 1);
      ::WaitForSingleObject(info_.hProcess, INFINITE);
    }
    ::CloseHandle(info_.hThread);
    ::CloseHandle(info_.hProcess);
  }

  uint32_t pid() const override { return info_.dwProcessId; }

  int WaitForExit(int64_t timeout_ms) override {
    if (exited_) return exit_code_;
    platform::win::Deadline deadline(timeout_ms);
    DWORD wait;
    while ((wait = ::WaitForSingleObject(info_.hProcess, deadline.NextWaitMs())) == WAIT_TIMEOUT &&
           !deadline.Expired()) {
    }
    DWORD code = 0;
    if (wait != WAIT_OBJECT_0 || !::GetExitCodeProcess(info_.hProcess, &code)) return -1;
    exited_ = true;
    exit_code_ = static_cast<int>(code);
    return exit_code_;
  }

 private:
  PROCESS_INFORMATION info_;
  bool exited_ = false;
  int exit_code_ = -1;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::filesystem::path& program,
                                                  const std::vector<std::string>& args,
                                                  const std::filesystem::path& cwd) {
  std::u16string application = program.u16string();
  std::u16string command_line;
  AppendQuoted(application, &command_line);
  for (const std::string& arg : args) AppendQuoted(UTF8ToUTF16(arg), &command_line);
  std::u16string directory = cwd.u16string();

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  // No console: a console child gets a console host process too, which
  // (under Wine) holds the child's working directory for a moment after the
  // child has ended, so a test could not remove the directory at once.
  // CreateProcessW may write into the command line, so it gets a copy.
  std::wstring writable(reinterpret_cast<const wchar_t*>(command_line.c_str()),
                        command_line.size());
  if (!::CreateProcessW(platform::win::AsWide(application), writable.data(), nullptr, nullptr,
                        FALSE, DETACHED_PROCESS, nullptr,
                        directory.empty() ? nullptr : platform::win::AsWide(directory), &startup,
                        &info)) {
    return nullptr;
  }
  return std::make_unique<WinChildProcess>(info);
}

}  // namespace ipcbase::test
