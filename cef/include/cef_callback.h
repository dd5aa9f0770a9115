// Generic completion callbacks.
#ifndef CEF_INCLUDE_CEF_CALLBACK_H_
#define CEF_INCLUDE_CEF_CALLBACK_H_

#include "cef/include/cef_base.h"

// Told once when an asynchronous operation has finished.
class CefCompletionCallback : public virtual CefBaseRefCounted {
 public:
  virtual void OnComplete() = 0;
};

#endif  // CEF_INCLUDE_CEF_CALLBACK_H_
