// The command line behind CefCommandLine, shared by the engine and its
// test double.
#ifndef CEF_COMMON_COMMAND_LINE_H_
#define CEF_COMMON_COMMAND_LINE_H_

#include <string>
#include <utility>
#include <vector>

#include "cef/include/cef_command_line.h"

namespace cef_internal {

class CommandLineImpl : public CefCommandLine {
 public:
  CommandLineImpl() = default;

  // Setters do nothing from now on.
  void SetReadOnly() { read_only_ = true; }

  // Switches as (lower-case name, value) in the order first added.
  const std::vector<std::pair<std::u16string, std::u16string>>& switches() const {
    return switches_;
  }

  bool IsValid() override { return true; }
  bool IsReadOnly() override { return read_only_; }
  CefRefPtr<CefCommandLine> Copy() override;
  void InitFromArgv(int argc, const char* const* argv) override;
  void InitFromString(const CefString& command_line) override;
  void Reset() override;
  void GetArgv(std::vector<CefString>& argv) override;
  CefString GetCommandLineString() override;
  CefString GetProgram() override { return program_; }
  void SetProgram(const CefString& program) override;
  bool HasSwitches() override { return !switches_.empty(); }
  bool HasSwitch(const CefString& name) override;
  CefString GetSwitchValue(const CefString& name) override;
  void GetSwitches(SwitchMap& switches) override;
  void AppendSwitch(const CefString& name) override;
  void AppendSwitchWithValue(const CefString& name, const CefString& value) override;
  bool HasArguments() override { return !arguments_.empty(); }
  void GetArguments(ArgumentList& arguments) override;
  void AppendArgument(const CefString& argument) override;
  void PrependWrapper(const CefString& wrapper) override;

 private:
  void InitFromTokens(const std::vector<std::u16string>& tokens);
  void SetSwitch(std::u16string name, std::u16string value);
  const std::u16string* FindSwitch(const CefString& name) const;

  bool read_only_ = false;
  std::u16string program_;
  // Words of a prepended wrapper that stand between the program and the
  // switches.
  std::vector<std::u16string> wrapper_args_;
  std::vector<std::pair<std::u16string, std::u16string>> switches_;
  std::vector<std::u16string> arguments_;

  IMPLEMENT_REFCOUNTING(CommandLineImpl);
};

// Splits a command line string into words (double quotes group, \" is a
// literal quote).
std::vector<std::u16string> SplitCommandLine(std::u16string_view text);

// Sets up the process command line returned by GetGlobalCommandLine (a
// read-only copy of argv). Called on the main thread before other threads
// use it; later calls replace it.
void InitGlobalCommandLine(int argc, const char* const* argv);

}  // namespace cef_internal

#endif  // CEF_COMMON_COMMAND_LINE_H_
