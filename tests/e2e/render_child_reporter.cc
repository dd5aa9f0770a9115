#include "tests/e2e/render_child_reporter.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "cef/include/cef_command_line.h"

namespace vemo_e2e {
namespace {

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un address;
  std::memset(&address, 0, sizeof(address));
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  return address;
}

std::string Describe(CefRefPtr<CefListValue> list, size_t i) {
  switch (list->GetType(i)) {
    case VTYPE_NULL: return "null -";
    case VTYPE_BOOL: return std::string("bool ") + (list->GetBool(i) ? "true" : "false");
    case VTYPE_INT: return "int " + std::to_string(list->GetInt(i));
    case VTYPE_DOUBLE: return "double " + std::to_string(list->GetDouble(i));
    case VTYPE_STRING: return "string " + list->GetString(i).ToString();
    default: return "other -";
  }
}

}  // namespace

void RenderChildReporterApp::Report(const std::string& line) {
  if (!tried_) {
    tried_ = true;
    CefRefPtr<CefCommandLine> command_line = CefCommandLine::GetGlobalCommandLine();
    std::string path = command_line->GetSwitchValue(kReportSocketSwitch).ToString();
    if (path.empty()) return;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = AddressOf(path);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
      fd_ = fd;
    } else if (fd >= 0) {
      close(fd);
    }
  }
  if (fd_ < 0) return;
  std::string data = line + "\n";
  ssize_t ignored = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
  (void)ignored;
}

void RenderChildReporterApp::OnRenderThreadCreated(CefRefPtr<CefListValue> extra_info) {
  Report("pid " + std::to_string(getpid()));
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::GetGlobalCommandLine();
  CefCommandLine::ArgumentList arguments;
  command_line->GetArguments(arguments);
  for (const CefString& argument : arguments) Report("argument " + argument.ToString());
  // A plain argument that looks like a switch is read as one.
  CefCommandLine::SwitchMap switches;
  command_line->GetSwitches(switches);
  for (const auto& [name, value] : switches) {
    Report("switch " + CefString(name).ToString() + "=" + CefString(value).ToString());
  }
  Report(std::string("read-only ") + (extra_info->IsReadOnly() ? "1" : "0"));
  for (size_t i = 0; i < extra_info->GetSize(); ++i) {
    Report("extra " + std::to_string(i) + " " + Describe(extra_info, i));
  }
}

void RenderChildReporterApp::OnWebKitInitialized() {
  Report("webkit-initialized");
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

ReportListener::ReportListener() {
  char pattern[] = "/tmp/vemo-report-XXXXXX";
  if (mkdtemp(pattern)) dir_ = pattern;
  path_ = dir_ + "/report.sock";
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = AddressOf(path_);
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(fd_, 8) != 0) {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
}

ReportListener::~ReportListener() {
  if (fd_ >= 0) close(fd_);
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

std::vector<std::string> ReportListener::NextReport(std::chrono::milliseconds deadline,
                                                    bool* complete) {
  *complete = false;
  std::vector<std::string> lines;
  if (fd_ < 0) return lines;
  const auto end = std::chrono::steady_clock::now() + deadline;
  auto wait_readable = [&](int fd) {
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p = {fd, POLLIN, 0};
      int ready = poll(&p, 1, static_cast<int>(left.count()));
      if (ready > 0) return true;
      if (ready == 0) return false;
    }
  };
  if (!wait_readable(fd_)) return lines;
  int connection = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (connection < 0) return lines;
  std::string text;
  char buffer[4096];
  while (wait_readable(connection)) {
    ssize_t n = read(connection, buffer, sizeof(buffer));
    if (n <= 0) {
      *complete = n == 0;
      break;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  close(connection);
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return lines;
}

}  // namespace vemo_e2e
