// Drag and drop into the page. The engine here starts no drags from
// outside; the handler is never asked.
#ifndef CEF_INCLUDE_CEF_DRAG_HANDLER_H_
#define CEF_INCLUDE_CEF_DRAG_HANDLER_H_

#include "cef/include/cef_base.h"

class CefDragHandler : public virtual CefBaseRefCounted {};

#endif  // CEF_INCLUDE_CEF_DRAG_HANDLER_H_
