// A process command line: program, switches ("--name" or "--name=value")
// and plain arguments.
//
// Switch names are compared without case and stored in lower case; "-name"
// counts as a switch too, and a lone "--" ends the switches (everything
// after it is an argument). Values keep their case.
#ifndef CEF_INCLUDE_CEF_COMMAND_LINE_H_
#define CEF_INCLUDE_CEF_COMMAND_LINE_H_

#include <map>
#include <vector>

#include "cef/include/cef_base.h"

class CefCommandLine : public virtual CefBaseRefCounted {
 public:
  typedef std::vector<CefString> ArgumentList;
  typedef std::map<CefString, CefString> SwitchMap;

  // A new, empty command line.
  static CefRefPtr<CefCommandLine> CreateCommandLine();
  // The command line of this process, read-only; set up from CefMainArgs by
  // CefExecuteProcess / CefInitialize (empty before).
  static CefRefPtr<CefCommandLine> GetGlobalCommandLine();

  virtual bool IsValid() = 0;
  virtual bool IsReadOnly() = 0;
  // A writable copy.
  virtual CefRefPtr<CefCommandLine> Copy() = 0;

  // Replaces everything with argv (argv[0] is the program).
  virtual void InitFromArgv(int argc, const char* const* argv) = 0;
  // Replaces everything with a command line string; double quotes group
  // words, a backslash before a quote escapes it.
  virtual void InitFromString(const CefString& command_line) = 0;
  virtual void Reset() = 0;

  // Program (and the words of a prepended wrapper), then the switches in
  // the order first added, then the arguments.
  virtual void GetArgv(std::vector<CefString>& argv) = 0;
  // GetArgv joined with spaces; items with spaces are double-quoted.
  virtual CefString GetCommandLineString() = 0;

  virtual CefString GetProgram() = 0;
  virtual void SetProgram(const CefString& program) = 0;

  virtual bool HasSwitches() = 0;
  virtual bool HasSwitch(const CefString& name) = 0;
  // The value of a switch; empty when absent or given without a value.
  virtual CefString GetSwitchValue(const CefString& name) = 0;
  virtual void GetSwitches(SwitchMap& switches) = 0;
  virtual void AppendSwitch(const CefString& name) = 0;
  virtual void AppendSwitchWithValue(const CefString& name, const CefString& value) = 0;

  virtual bool HasArguments() = 0;
  virtual void GetArguments(ArgumentList& arguments) = 0;
  // Adds a plain argument (never parsed as a switch, even if it starts
  // with "--").
  virtual void AppendArgument(const CefString& argument) = 0;
  // Puts a wrapper program and its arguments in front of the program.
  virtual void PrependWrapper(const CefString& wrapper) = 0;
};

#endif  // CEF_INCLUDE_CEF_COMMAND_LINE_H_
