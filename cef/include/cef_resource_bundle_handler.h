// Localized strings and resources for the engine. This engine has its own
// resources; an application's handler is never asked.
#ifndef CEF_INCLUDE_CEF_RESOURCE_BUNDLE_HANDLER_H_
#define CEF_INCLUDE_CEF_RESOURCE_BUNDLE_HANDLER_H_

#include "cef/include/cef_base.h"

class CefResourceBundleHandler : public virtual CefBaseRefCounted {};

#endif  // CEF_INCLUDE_CEF_RESOURCE_BUNDLE_HANDLER_H_
