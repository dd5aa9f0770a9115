#include "cef/include/cef_process_message.h"

#include "cef/common/list_value.h"

namespace {

class ProcessMessageImpl : public CefProcessMessage {
 public:
  ProcessMessageImpl(const CefString& name, CefRefPtr<CefListValue> arguments)
      : name_(name), arguments_(arguments) {}

  bool IsValid() override { return true; }
  bool IsReadOnly() override { return false; }
  CefRefPtr<CefProcessMessage> Copy() override {
    return new ProcessMessageImpl(name_, arguments_->Copy());
  }
  CefString GetName() override { return name_; }
  CefRefPtr<CefListValue> GetArgumentList() override { return arguments_; }

 private:
  CefString name_;
  CefRefPtr<CefListValue> arguments_;

  IMPLEMENT_REFCOUNTING(ProcessMessageImpl);
};

}  // namespace

CefRefPtr<CefProcessMessage> CefProcessMessage::Create(const CefString& name) {
  return new ProcessMessageImpl(name, CefListValue::Create());
}
