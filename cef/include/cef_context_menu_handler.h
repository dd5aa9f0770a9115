// Context menus. Windowless browsers here show no context menus; the
// handler is never asked.
#ifndef CEF_INCLUDE_CEF_CONTEXT_MENU_HANDLER_H_
#define CEF_INCLUDE_CEF_CONTEXT_MENU_HANDLER_H_

#include "cef/include/cef_base.h"

class CefContextMenuHandler : public virtual CefBaseRefCounted {};

#endif  // CEF_INCLUDE_CEF_CONTEXT_MENU_HANDLER_H_
