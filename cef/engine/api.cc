// The API's process-wide functions over the headless engine.
#include "cef/common/command_line.h"
#include "cef/common/execute_process.h"
#include "cef/engine/child_process.h"
#include "cef/engine/engine.h"
#include "cef/include/cef_app.h"
#include "cef/include/cef_browser.h"
#include "cef/include/cef_cookie.h"
#include "cef/include/cef_task.h"
#include "ipc/base/logging.h"

using cef_engine::Engine;

int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application,
                      void* /*windows_sandbox_info*/) {
  std::string type;
  if (!cef_internal::BeginChildProcess(args, application, &type)) return -1;
  return cef_engine::RunChildProcess(type, args, application);
}

bool CefInitialize(const CefMainArgs& args, const CefSettings& settings,
                   CefRefPtr<CefApp> application, void* /*windows_sandbox_info*/) {
  return Engine::Initialize(args, settings, application);
}

void CefShutdown() { Engine::Shutdown(); }

void CefDoMessageLoopWork() {
  Engine* engine = Engine::Get();
  if (!engine) return;
  if (!engine->OnUiThread()) {
    LOG(ERROR) << "CefDoMessageLoopWork called off the UI thread";
    return;
  }
  engine->DoWork();
}

bool CefCurrentlyOn(CefThreadId thread_id) {
  Engine* engine = Engine::Get();
  return thread_id == TID_UI && engine && engine->OnUiThread();
}

CefRefPtr<CefCookieManager> CefCookieManager::GetGlobalManager(
    CefRefPtr<CefCompletionCallback> callback) {
  Engine* engine = Engine::Get();
  if (!engine) return nullptr;
  if (callback) callback->OnComplete();
  return engine->cookie_manager().get();
}

bool CefBrowserHost::CreateBrowser(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                                   const CefString& url, const CefBrowserSettings& settings,
                                   CefRefPtr<CefRequestContext> request_context) {
  Engine* engine = Engine::Get();
  if (!engine) {
    LOG(ERROR) << "CreateBrowser before CefInitialize";
    return false;
  }
  if (!engine->OnUiThread()) {
    LOG(ERROR) << "CreateBrowser called off the UI thread";
    return false;
  }
  if (request_context) LOG(WARNING) << "CreateBrowser: request contexts are not supported";
  return engine->CreateBrowser(windowInfo, client, url, settings);
}
