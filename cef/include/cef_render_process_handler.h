// Callbacks of a render process. The render-process side of the layer adds
// its callbacks here; the browser process only hands the handler over
// (CefApp::GetRenderProcessHandler).
#ifndef CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_
#define CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_

#include "cef/include/cef_base.h"

class CefRenderProcessHandler : public virtual CefBaseRefCounted {};

#endif  // CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_
