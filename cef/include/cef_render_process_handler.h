// Callbacks of a render process: the child the layer starts from this
// executable ("--type=renderer") for each browser, whose CefExecuteProcess
// runs them on its main thread (the render thread) until the browser process
// lets go of it. Further render-side callbacks arrive with the layer's
// script-context support.
#ifndef CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_
#define CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_values.h"

class CefRenderProcessHandler : public virtual CefBaseRefCounted {
 public:
  // First, once: extra_info is what the browser process's
  // OnRenderProcessThreadCreated put into the list (read-only here).
  virtual void OnRenderThreadCreated(CefRefPtr<CefListValue> /*extra_info*/) {}
  // Right after OnRenderThreadCreated, once.
  virtual void OnWebKitInitialized() {}
};

#endif  // CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_
