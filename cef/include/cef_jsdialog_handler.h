// Script dialogs: alert, confirm, prompt and the unload prompt.
#ifndef CEF_INCLUDE_CEF_JSDIALOG_HANDLER_H_
#define CEF_INCLUDE_CEF_JSDIALOG_HANDLER_H_

#include "cef/include/cef_base.h"
#include "cef/include/cef_browser.h"

// Answers a dialog that the handler kept open. The first call answers;
// later calls do nothing. Callable on any thread.
class CefJSDialogCallback : public virtual CefBaseRefCounted {
 public:
  // success: OK (true) or Cancel; user_input: the prompt's text.
  virtual void Continue(bool success, const CefString& user_input) = 0;
};

// All methods run on the UI thread. While a dialog is open its page waits.
class CefJSDialogHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_jsdialog_type_t JSDialogType;

  // A page opened alert / confirm / prompt. origin_url is the origin of the
  // frame's address ("https://host:port/", "file:///", or the whole address
  // when it has no origin); accept_lang is empty. Setting suppress_message
  // to true dismisses the dialog at once (alert returns, confirm gives
  // false, prompt gives null). Returning true keeps it open until callback
  // is called. Otherwise (false, not suppressed) the dialog is dismissed
  // as if suppressed, since windowless browsers show no dialogs.
  virtual bool OnJSDialog(CefRefPtr<CefBrowser> /*browser*/, const CefString& /*origin_url*/,
                          const CefString& /*accept_lang*/, JSDialogType /*dialog_type*/,
                          const CefString& /*message_text*/, const CefString& /*default_prompt_text*/,
                          CefRefPtr<CefJSDialogCallback> /*callback*/, bool& /*suppress_message*/) {
    return false;
  }

  // A page asks whether it may be left. true: the handler calls callback
  // (true leaves); false: the page is left.
  virtual bool OnBeforeUnloadDialog(CefRefPtr<CefBrowser> /*browser*/,
                                    const CefString& /*message_text*/, bool /*is_reload*/,
                                    CefRefPtr<CefJSDialogCallback> /*callback*/) {
    return false;
  }

  // Dialogs kept open by the handler were dropped (the page went away).
  virtual void OnResetDialogState(CefRefPtr<CefBrowser> /*browser*/) {}
  // A dialog kept open by the handler was answered.
  virtual void OnDialogClosed(CefRefPtr<CefBrowser> /*browser*/) {}
};

#endif  // CEF_INCLUDE_CEF_JSDIALOG_HANDLER_H_
