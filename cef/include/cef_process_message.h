// Messages between the browser process and a render process.
#ifndef CEF_INCLUDE_CEF_PROCESS_MESSAGE_H_
#define CEF_INCLUDE_CEF_PROCESS_MESSAGE_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_values.h"

typedef cef_process_id_t CefProcessId;

class CefProcessMessage : public virtual CefBaseRefCounted {
 public:
  // A new message with that name and an empty argument list.
  static CefRefPtr<CefProcessMessage> Create(const CefString& name);

  virtual bool IsValid() = 0;
  virtual bool IsReadOnly() = 0;
  virtual CefRefPtr<CefProcessMessage> Copy() = 0;
  virtual CefString GetName() = 0;
  // The message's own list (changes to it change the message).
  virtual CefRefPtr<CefListValue> GetArgumentList() = 0;
};

#endif  // CEF_INCLUDE_CEF_PROCESS_MESSAGE_H_
