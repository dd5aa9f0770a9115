// The registrar handed to CefApp::OnRegisterCustomSchemes.
#ifndef CEF_COMMON_SCHEME_REGISTRAR_H_
#define CEF_COMMON_SCHEME_REGISTRAR_H_

#include <string>
#include <vector>

#include "cef/include/cef_scheme.h"

namespace cef_internal {

class SchemeRegistrarImpl : public CefSchemeRegistrar {
 public:
  bool AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                       bool is_display_isolated) override;

  // Registered names, lower case, in order.
  const std::vector<std::u16string>& schemes() const { return schemes_; }

 private:
  std::vector<std::u16string> schemes_;

  IMPLEMENT_REFCOUNTING(SchemeRegistrarImpl);
};

}  // namespace cef_internal

#endif  // CEF_COMMON_SCHEME_REGISTRAR_H_
