#include "cef/common/command_line.h"

#include <mutex>

#include "ipc/base/utf_string_conversions.h"

namespace cef_internal {
namespace {

std::u16string ToLowerAscii(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return out;
}

std::u16string Quote(const std::u16string& word) {
  if (!word.empty() && word.find_first_of(u" \t\"") == std::u16string::npos) return word;
  std::u16string out = u"\"";
  for (char16_t c : word) {
    if (c == u'"') out += u'\\';
    out += c;
  }
  out += u'"';
  return out;
}

std::mutex& GlobalLock() {
  static std::mutex lock;
  return lock;
}

CefRefPtr<CommandLineImpl>& GlobalCommandLine() {
  static CefRefPtr<CommandLineImpl>* line = new CefRefPtr<CommandLineImpl>();
  return *line;
}

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view text) {
  std::vector<std::u16string> words;
  std::u16string word;
  bool in_word = false;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\\' && i + 1 < text.size() && text[i + 1] == u'"') {
      word += u'"';
      in_word = true;
      ++i;
    } else if (c == u'"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (c == u' ' || c == u'\t')) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

CefRefPtr<CefCommandLine> CommandLineImpl::Copy() {
  CefRefPtr<CommandLineImpl> copy = new CommandLineImpl();
  copy->program_ = program_;
  copy->wrapper_args_ = wrapper_args_;
  copy->switches_ = switches_;
  copy->arguments_ = arguments_;
  return copy;
}

void CommandLineImpl::InitFromArgv(int argc, const char* const* argv) {
  std::vector<std::u16string> tokens;
  for (int i = 0; i < argc && argv; ++i) {
    tokens.push_back(ipcbase::UTF8ToUTF16(argv[i] ? argv[i] : ""));
  }
  InitFromTokens(tokens);
}

void CommandLineImpl::InitFromString(const CefString& command_line) {
  InitFromTokens(SplitCommandLine(command_line.view()));
}

void CommandLineImpl::InitFromTokens(const std::vector<std::u16string>& tokens) {
  if (read_only_) return;
  Reset();
  if (tokens.empty()) return;
  program_ = tokens[0];
  bool switches_done = false;
  for (size_t i = 1; i < tokens.size(); ++i) {
    const std::u16string& t = tokens[i];
    if (!switches_done && t == u"--") {
      switches_done = true;
      continue;
    }
    if (!switches_done && t.size() > 1 && t[0] == u'-') {
      size_t start = t.compare(0, 2, u"--") == 0 ? 2 : 1;
      size_t eq = t.find(u'=', start);
      if (eq == std::u16string::npos) {
        SetSwitch(t.substr(start), u"");
      } else {
        SetSwitch(t.substr(start, eq - start), t.substr(eq + 1));
      }
      continue;
    }
    arguments_.push_back(t);
  }
}

void CommandLineImpl::Reset() {
  if (read_only_) return;
  program_.clear();
  wrapper_args_.clear();
  switches_.clear();
  arguments_.clear();
}

void CommandLineImpl::GetArgv(std::vector<CefString>& argv) {
  argv.clear();
  argv.push_back(program_);
  for (const auto& w : wrapper_args_) argv.push_back(w);
  for (const auto& [name, value] : switches_) {
    argv.push_back(value.empty() ? u"--" + name : u"--" + name + u"=" + value);
  }
  for (const auto& a : arguments_) argv.push_back(a);
}

CefString CommandLineImpl::GetCommandLineString() {
  std::vector<CefString> argv;
  GetArgv(argv);
  std::u16string out;
  for (size_t i = 0; i < argv.size(); ++i) {
    if (i) out += u' ';
    out += Quote(argv[i].ToString16());
  }
  return out;
}

void CommandLineImpl::SetProgram(const CefString& program) {
  if (!read_only_) program_ = program.ToString16();
}

void CommandLineImpl::SetSwitch(std::u16string name, std::u16string value) {
  name = ToLowerAscii(name);
  if (name.empty()) return;
  for (auto& entry : switches_) {
    if (entry.first == name) {
      entry.second = std::move(value);
      return;
    }
  }
  switches_.emplace_back(std::move(name), std::move(value));
}

const std::u16string* CommandLineImpl::FindSwitch(const CefString& name) const {
  std::u16string key = ToLowerAscii(name.view());
  for (const auto& entry : switches_) {
    if (entry.first == key) return &entry.second;
  }
  return nullptr;
}

bool CommandLineImpl::HasSwitch(const CefString& name) { return FindSwitch(name) != nullptr; }

CefString CommandLineImpl::GetSwitchValue(const CefString& name) {
  const std::u16string* value = FindSwitch(name);
  return value ? CefString(*value) : CefString();
}

void CommandLineImpl::GetSwitches(SwitchMap& switches) {
  switches.clear();
  for (const auto& [name, value] : switches_) switches[name] = value;
}

void CommandLineImpl::AppendSwitch(const CefString& name) {
  if (!read_only_) SetSwitch(name.ToString16(), u"");
}

void CommandLineImpl::AppendSwitchWithValue(const CefString& name, const CefString& value) {
  if (!read_only_) SetSwitch(name.ToString16(), value.ToString16());
}

void CommandLineImpl::GetArguments(ArgumentList& arguments) {
  arguments.clear();
  for (const auto& a : arguments_) arguments.push_back(a);
}

void CommandLineImpl::AppendArgument(const CefString& argument) {
  if (!read_only_) arguments_.push_back(argument.ToString16());
}

void CommandLineImpl::PrependWrapper(const CefString& wrapper) {
  if (read_only_) return;
  std::vector<std::u16string> words = SplitCommandLine(wrapper.view());
  if (words.empty()) return;
  std::vector<std::u16string> middle(words.begin() + 1, words.end());
  if (!program_.empty()) middle.push_back(program_);
  middle.insert(middle.end(), wrapper_args_.begin(), wrapper_args_.end());
  program_ = words[0];
  wrapper_args_ = std::move(middle);
}

void InitGlobalCommandLine(int argc, const char* const* argv) {
  CefRefPtr<CommandLineImpl> line = new CommandLineImpl();
  line->InitFromArgv(argc, argv);
  line->SetReadOnly();
  std::lock_guard<std::mutex> hold(GlobalLock());
  GlobalCommandLine() = line;
}

}  // namespace cef_internal

CefRefPtr<CefCommandLine> CefCommandLine::CreateCommandLine() {
  return new cef_internal::CommandLineImpl();
}

CefRefPtr<CefCommandLine> CefCommandLine::GetGlobalCommandLine() {
  std::lock_guard<std::mutex> hold(cef_internal::GlobalLock());
  CefRefPtr<cef_internal::CommandLineImpl>& line = cef_internal::GlobalCommandLine();
  if (!line) {
    line = new cef_internal::CommandLineImpl();
    line->SetReadOnly();
  }
  return line.get();
}
