// Lists of simple values, as handed to a new render process
// (CefBrowserProcessHandler::OnRenderProcessThreadCreated) and carried by
// process messages.
#ifndef CEF_INCLUDE_CEF_VALUES_H_
#define CEF_INCLUDE_CEF_VALUES_H_

#include <cstddef>

#include "cef/include/cef_base.h"

typedef cef_value_type_t CefValueType;

// An ordered list of null, bool, int, double and string values. Setting an
// index at or past the end grows the list, filling the gap with nulls.
// Getters of a missing index or of another type return false / 0 / "".
// Not thread-safe: one thread uses a list at a time (a list handed to
// another thread is handed over).
class CefListValue : public virtual CefBaseRefCounted {
 public:
  // A new, empty, writable list.
  static CefRefPtr<CefListValue> Create();

  // A list stays valid for its whole life here.
  virtual bool IsValid() = 0;
  // True when the owner has frozen the list (setters then fail).
  virtual bool IsReadOnly() = 0;
  // A writable deep copy.
  virtual CefRefPtr<CefListValue> Copy() = 0;

  // Grows (with nulls) or shrinks to size entries.
  virtual bool SetSize(size_t size) = 0;
  virtual size_t GetSize() = 0;
  virtual bool Clear() = 0;
  // Removes the entry at index, moving later entries down.
  virtual bool Remove(size_t index) = 0;
  // VTYPE_INVALID for an index past the end.
  virtual CefValueType GetType(size_t index) = 0;

  virtual bool GetBool(size_t index) = 0;
  virtual int GetInt(size_t index) = 0;
  virtual double GetDouble(size_t index) = 0;
  virtual CefString GetString(size_t index) = 0;

  virtual bool SetNull(size_t index) = 0;
  virtual bool SetBool(size_t index, bool value) = 0;
  virtual bool SetInt(size_t index, int value) = 0;
  virtual bool SetDouble(size_t index, double value) = 0;
  virtual bool SetString(size_t index, const CefString& value) = 0;
};

#endif  // CEF_INCLUDE_CEF_VALUES_H_
