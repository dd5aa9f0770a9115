#include "cef/common/execute_process.h"

#include "cef/common/command_line.h"
#include "cef/common/scheme_registrar.h"

namespace cef_internal {

bool BeginChildProcess(const CefMainArgs& args, CefRefPtr<CefApp> application,
                       std::string* type) {
  InitGlobalCommandLine(args.argc, args.argv);
  CefRefPtr<CefCommandLine> line = CefCommandLine::GetGlobalCommandLine();
  if (!line->HasSwitch("type")) return false;
  if (application) {
    CefRefPtr<SchemeRegistrarImpl> registrar = new SchemeRegistrarImpl();
    application->OnRegisterCustomSchemes(registrar.get());
  }
  *type = line->GetSwitchValue("type").ToString();
  return true;
}

}  // namespace cef_internal
