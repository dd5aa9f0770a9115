// Printing. Windowless browsers here never print; the handler is never
// asked.
#ifndef CEF_INCLUDE_CEF_PRINT_HANDLER_H_
#define CEF_INCLUDE_CEF_PRINT_HANDLER_H_

#include "cef/include/cef_base.h"

class CefPrintHandler : public virtual CefBaseRefCounted {};

#endif  // CEF_INCLUDE_CEF_PRINT_HANDLER_H_
