#include "cef/common/list_value.h"

#include <utility>

namespace cef_internal {

CefRefPtr<ListValueImpl> ListValueImpl::CreateFrom(std::vector<Value> values) {
  CefRefPtr<ListValueImpl> list = new ListValueImpl();
  list->values_ = std::move(values);
  return list;
}

CefRefPtr<CefListValue> ListValueImpl::Copy() { return CreateFrom(values_); }

bool ListValueImpl::SetSize(size_t size) {
  if (read_only_) return false;
  values_.resize(size);
  return true;
}

bool ListValueImpl::Clear() {
  if (read_only_) return false;
  values_.clear();
  return true;
}

bool ListValueImpl::Remove(size_t index) {
  if (read_only_ || index >= values_.size()) return false;
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

CefValueType ListValueImpl::GetType(size_t index) {
  if (index >= values_.size()) return VTYPE_INVALID;
  switch (values_[index].index()) {
    case 0: return VTYPE_NULL;
    case 1: return VTYPE_BOOL;
    case 2: return VTYPE_INT;
    case 3: return VTYPE_DOUBLE;
    default: return VTYPE_STRING;
  }
}

bool ListValueImpl::GetBool(size_t index) {
  const bool* v = index < values_.size() ? std::get_if<bool>(&values_[index]) : nullptr;
  return v ? *v : false;
}

int ListValueImpl::GetInt(size_t index) {
  const int* v = index < values_.size() ? std::get_if<int>(&values_[index]) : nullptr;
  return v ? *v : 0;
}

double ListValueImpl::GetDouble(size_t index) {
  if (index >= values_.size()) return 0;
  if (const double* d = std::get_if<double>(&values_[index])) return *d;
  if (const int* i = std::get_if<int>(&values_[index])) return *i;
  return 0;
}

CefString ListValueImpl::GetString(size_t index) {
  const std::u16string* v =
      index < values_.size() ? std::get_if<std::u16string>(&values_[index]) : nullptr;
  return v ? CefString(*v) : CefString();
}

bool ListValueImpl::Set(size_t index, Value value) {
  if (read_only_) return false;
  if (index >= values_.size()) values_.resize(index + 1);
  values_[index] = std::move(value);
  return true;
}

bool ListValueImpl::SetNull(size_t index) { return Set(index, std::monostate()); }
bool ListValueImpl::SetBool(size_t index, bool value) { return Set(index, value); }
bool ListValueImpl::SetInt(size_t index, int value) { return Set(index, value); }
bool ListValueImpl::SetDouble(size_t index, double value) { return Set(index, value); }
bool ListValueImpl::SetString(size_t index, const CefString& value) {
  return Set(index, value.ToString16());
}

}  // namespace cef_internal

CefRefPtr<CefListValue> CefListValue::Create() { return new cef_internal::ListValueImpl(); }
