// Registration of custom URL schemes (CefApp::OnRegisterCustomSchemes).
#ifndef CEF_INCLUDE_CEF_SCHEME_H_
#define CEF_INCLUDE_CEF_SCHEME_H_

#include "cef/include/cef_base.h"

// Only valid during OnRegisterCustomSchemes.
class CefSchemeRegistrar : public virtual CefBaseRefCounted {
 public:
  // Records a scheme. The engine has no custom schemes of its own; a
  // registered scheme is logged and otherwise behaves as an unknown scheme.
  // False for an empty or already registered name.
  virtual bool AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                               bool is_display_isolated) = 0;
};

#endif  // CEF_INCLUDE_CEF_SCHEME_H_
