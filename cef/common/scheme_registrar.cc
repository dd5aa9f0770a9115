#include "cef/common/scheme_registrar.h"

#include <algorithm>

#include "ipc/base/logging.h"

namespace cef_internal {

bool SchemeRegistrarImpl::AddCustomScheme(const CefString& scheme_name, bool /*is_standard*/,
                                          bool /*is_local*/, bool /*is_display_isolated*/) {
  std::u16string name = scheme_name.ToString16();
  for (char16_t& c : name) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  if (name.empty() || std::find(schemes_.begin(), schemes_.end(), name) != schemes_.end()) {
    return false;
  }
  LOG(INFO) << "custom scheme \"" << scheme_name.ToString()
            << "\" registered; the engine treats it as an unknown scheme";
  schemes_.push_back(std::move(name));
  return true;
}

}  // namespace cef_internal
