// Threads of the framework.
#ifndef CEF_INCLUDE_CEF_TASK_H_
#define CEF_INCLUDE_CEF_TASK_H_

#include "cef/include/cef_base.h"

typedef cef_thread_id_t CefThreadId;

// True when the calling thread is that framework thread. TID_UI is the
// thread that called CefInitialize (false everywhere before it).
bool CefCurrentlyOn(CefThreadId thread_id);

#endif  // CEF_INCLUDE_CEF_TASK_H_
