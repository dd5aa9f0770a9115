// Request contexts (separate profiles). This engine has one profile; the
// class exists so that CreateBrowser has its framework signature.
#ifndef CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_
#define CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_

#include "cef/include/cef_base.h"

class CefRequestContext : public virtual CefBaseRefCounted {};

#endif  // CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_
