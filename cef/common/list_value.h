// The list behind CefListValue, shared by the engine and its test double.
#ifndef CEF_COMMON_LIST_VALUE_H_
#define CEF_COMMON_LIST_VALUE_H_

#include <string>
#include <variant>
#include <vector>

#include "cef/include/cef_values.h"

namespace cef_internal {

class ListValueImpl : public CefListValue {
 public:
  using Value = std::variant<std::monostate, bool, int, double, std::u16string>;

  static CefRefPtr<ListValueImpl> CreateFrom(std::vector<Value> values);

  // Setters fail from now on.
  void SetReadOnly() { read_only_ = true; }
  const std::vector<Value>& values() const { return values_; }

  bool IsValid() override { return true; }
  bool IsReadOnly() override { return read_only_; }
  CefRefPtr<CefListValue> Copy() override;
  bool SetSize(size_t size) override;
  size_t GetSize() override { return values_.size(); }
  bool Clear() override;
  bool Remove(size_t index) override;
  CefValueType GetType(size_t index) override;
  bool GetBool(size_t index) override;
  int GetInt(size_t index) override;
  double GetDouble(size_t index) override;
  CefString GetString(size_t index) override;
  bool SetNull(size_t index) override;
  bool SetBool(size_t index, bool value) override;
  bool SetInt(size_t index, int value) override;
  bool SetDouble(size_t index, double value) override;
  bool SetString(size_t index, const CefString& value) override;

 private:
  bool Set(size_t index, Value value);

  std::vector<Value> values_;
  bool read_only_ = false;

  IMPLEMENT_REFCOUNTING(ListValueImpl);
};

}  // namespace cef_internal

#endif  // CEF_COMMON_LIST_VALUE_H_
