#include "cef/engine/engine.h"

#include <cstdlib>
#include <filesystem>
#include <utility>

#include "cef/common/command_line.h"
#include "cef/common/scheme_registrar.h"
#include "cef/engine/browser_impl.h"
#include "ipc/base/logging.h"
#include "ipc/base/platform/process.h"

namespace cef_engine {
namespace {

Engine* g_engine = nullptr;

constexpr char kDefaultChromium[] = "/usr/lib/chromium/chromium-headless-shell";
constexpr auto kCloseWait = std::chrono::seconds(3);
constexpr auto kExitWait = std::chrono::seconds(3);

std::string ChromiumPath() {
  const char* env = std::getenv("VEMO_CHROMIUM");
  return env && *env ? env : kDefaultChromium;
}

}  // namespace

Engine* Engine::Get() { return g_engine; }

Engine::Engine(const CefSettings& settings, CefRefPtr<CefApp> app)
    : app_(app),
      ui_thread_(std::this_thread::get_id()),
      logging_enabled_(settings.log_severity != LOGSEVERITY_DISABLE),
      cookies_(new cef_internal::CookieManagerImpl()) {}

Engine::~Engine() = default;

bool Engine::Initialize(const CefMainArgs& args, const CefSettings& settings,
                        CefRefPtr<CefApp> app) {
  if (g_engine) {
    LOG(ERROR) << "CefInitialize: already initialized";
    return false;
  }
  if (settings.size != sizeof(cef_settings_t)) {
    LOG(ERROR) << "CefInitialize: settings size " << settings.size << ", expected "
               << sizeof(cef_settings_t);
    return false;
  }
  if (settings.multi_threaded_message_loop) {
    LOG(ERROR) << "CefInitialize: only the single-threaded message loop is supported";
    return false;
  }
  if (settings.remote_debugging_port) {
    LOG(WARNING) << "CefInitialize: remote_debugging_port ignored";
  }
  auto* engine = new Engine(settings, app);
  if (!engine->Start(args, settings)) {
    engine->Stop();
    delete engine;
    return false;
  }
  g_engine = engine;
  return true;
}

bool Engine::Start(const CefMainArgs& args, const CefSettings& settings) {
  if (args.argc > 0) cef_internal::InitGlobalCommandLine(args.argc, args.argv);
  CefRefPtr<CefCommandLine> original = CefCommandLine::GetGlobalCommandLine();
  CefRefPtr<CefCommandLine> line = original->Copy();
  if (app_) {
    app_->OnBeforeCommandLineProcessing(CefString(), line);
    CefRefPtr<cef_internal::SchemeRegistrarImpl> registrar =
        new cef_internal::SchemeRegistrarImpl();
    app_->OnRegisterCustomSchemes(registrar.get());
  }

  profile_dir_ = CefString(&settings.cache_path).ToString();
  if (profile_dir_.empty()) {
    profile_dir_ = CreatePrivateTempDir("vemo-engine-");
    if (profile_dir_.empty()) return false;
    remove_profile_ = true;
  } else {
    std::error_code ec;
    std::filesystem::create_directories(profile_dir_, ec);
    if (ec) {
      LOG(ERROR) << "CefInitialize: cannot create the cache path " << profile_dir_ << ": "
                 << ec.message();
      return false;
    }
  }

  // Off the network it cannot reach, no first-run or background work, the
  // DevTools connection on fd 3/4, popups blocked by the engine itself.
  std::vector<std::string> flags = {
      "--headless",
      "--remote-debugging-pipe",
      "--user-data-dir=" + profile_dir_,
      "--disable-gpu",
      "--disable-quic",
      "--no-first-run",
      "--no-default-browser-check",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
      "--disable-extensions",
      "--disable-default-apps",
      "--disable-breakpad",
      "--mute-audio",
      "--block-new-web-contents",
      "--force-color-profile=srgb",
      "--allow-file-access-from-files",
  };
  if (settings.no_sandbox || RunningAsRoot()) flags.push_back("--no-sandbox");
  if (SharedMemoryFileSystemIsSmall()) flags.push_back("--disable-dev-shm-usage");
  if (settings.ignore_certificate_errors) flags.push_back("--ignore-certificate-errors");
  std::string user_agent = CefString(&settings.user_agent).ToString();
  if (!user_agent.empty()) flags.push_back("--user-agent=" + user_agent);
  std::string locale = CefString(&settings.locale).ToString();
  if (!locale.empty()) flags.push_back("--lang=" + locale);
  // Switches the application added in OnBeforeCommandLineProcessing.
  if (auto* added = dynamic_cast<cef_internal::CommandLineImpl*>(line.get())) {
    for (const auto& [name, value] : added->switches()) {
      if (original->HasSwitch(name)) continue;
      std::string flag = "--" + CefString(name).ToString();
      if (!value.empty()) flag += "=" + CefString(value).ToString();
      flags.push_back(flag);
    }
  }

  const std::string program = ChromiumPath();
  std::string error;
  process_ = ChromiumProcess::Launch(program, flags, &error);
  if (!process_) {
    LOG(ERROR) << "CefInitialize: the engine cannot be started: " << error;
    return false;
  }
  alive_ = true;
  if (app_ && app_->GetRenderProcessHandler()) {
    render_program_ = CefString(&settings.browser_subprocess_path).ToString();
    if (render_program_.empty()) render_program_ = ipcbase::platform::ExecutablePath().string();
  }
  pipeline_ = std::make_unique<FramePipeline>([this](int browser_id) {
    PostUi([this, browser_id] {
      auto it = browsers_.find(browser_id);
      if (it != browsers_.end()) it->second->DeliverPaint();
    });
  });
  pipeline_->Start();
  connection_ = std::make_unique<DevToolsConnection>(process_.get(), this);
  sender_ = std::make_shared<CommandSender>(connection_.get());
  connection_->Start();
  Send("Browser.getVersion", Json::object(), "", [](const Json& r, const std::string& e) {
    if (e.empty()) LOG(INFO) << "engine " << GetString(r, "product") << " is up";
  });
  LOG(INFO) << "engine started: " << program << " (pid " << process_->pid() << "), profile "
            << profile_dir_;

  CefRefPtr<CefApp> app = app_;
  PostUi([app] {
    if (!app) return;
    if (auto handler = app->GetBrowserProcessHandler()) handler->OnContextInitialized();
  });
  return true;
}

void Engine::Shutdown() {
  Engine* engine = g_engine;
  if (!engine) return;
  if (!engine->OnUiThread()) {
    LOG(ERROR) << "CefShutdown called off the UI thread";
    return;
  }
  engine->Stop();
  g_engine = nullptr;
  delete engine;
}

void Engine::Stop() {
  // Close what is open and let the engine confirm, within a bound.
  std::vector<CefRefPtr<BrowserImpl>> open;
  for (auto& [id, browser] : browsers_) open.push_back(browser);
  for (auto& browser : open) browser->CloseForShutdown();
  auto deadline = std::chrono::steady_clock::now() + kCloseWait;
  while (!browsers_.empty() && alive_ && std::chrono::steady_clock::now() < deadline) {
    queue_.WaitForWork(deadline);
    queue_.RunPending();
  }
  open.clear();
  for (auto& [id, browser] : browsers_) open.push_back(browser);
  for (auto& browser : open) browser->Finish();
  open.clear();
  ReapRetiredRenderProcesses(/*wait=*/true);

  if (process_) {
    if (connection_ && alive_) connection_->Send("Browser.close", Json::object());
    if (!process_->WaitForExit(kExitWait)) {
      LOG(WARNING) << "the engine did not exit when asked; killing it";
      process_->Kill();
      if (!process_->WaitForExit(kExitWait)) LOG(ERROR) << "the engine did not exit";
    }
  }
  if (sender_) sender_->Detach();
  if (connection_) connection_->Stop();
  if (pipeline_) pipeline_->Stop();
  queue_.Clear();
  connection_.reset();
  process_.reset();
  alive_ = false;
  if (remove_profile_ && !profile_dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(profile_dir_, ec);
    if (ec) LOG(WARNING) << "cannot remove " << profile_dir_ << ": " << ec.message();
  }
  app_ = nullptr;
}

void Engine::DoWork() {
  queue_.RunPending();
  if (!retired_renderers_.empty()) ReapRetiredRenderProcesses(/*wait=*/false);
  if (browsers_.empty()) return;
  auto now = std::chrono::steady_clock::now();
  std::vector<CefRefPtr<BrowserImpl>> open;
  for (auto& [id, browser] : browsers_) open.push_back(browser);
  for (auto& browser : open) browser->CheckCloseDeadline(now);
}

bool Engine::Send(std::string_view method, Json params, const std::string& session_id,
                  ReplyCallback callback) {
  if (!alive_ || !connection_) return false;
  return connection_->Send(method, std::move(params), session_id, std::move(callback)) != 0;
}

bool Engine::CreateBrowser(const CefWindowInfo& window_info, CefRefPtr<CefClient> client,
                           const CefString& url, const CefBrowserSettings& settings) {
  if (!alive_) {
    LOG(ERROR) << "CreateBrowser: the engine is not running";
    return false;
  }
  if (!client || !client->GetRenderHandler()) {
    LOG(ERROR) << "CreateBrowser: a client with a render handler is required";
    return false;
  }
  if (!window_info.windowless_rendering_enabled) {
    LOG(ERROR) << "CreateBrowser: only windowless browsers are supported";
    return false;
  }
  if (settings.universal_access_from_file_urls == STATE_ENABLED ||
      settings.web_security == STATE_DISABLED) {
    LOG(WARNING) << "CreateBrowser: universal file access and disabled web security "
                    "are not supported; ignored";
  }
  int id = next_browser_id_++;
  CefRefPtr<BrowserImpl> browser =
      new BrowserImpl(this, id, client, window_info.transparent_painting_enabled != 0, settings,
                      url.ToString());
  browsers_[id] = browser;
  // Started in the next round: the render handler is asked outside the
  // application's own call.
  PostUi([browser] { browser->StartCreation(); });
  return true;
}

std::unique_ptr<RenderProcessHost> Engine::StartRenderProcess(int browser_id, int generation) {
  if (render_program_.empty()) return nullptr;
  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->SetProgram(render_program_);
  line->AppendSwitchWithValue("type", "renderer");
  line->AppendSwitchWithValue("renderer-client-id", std::to_string(browser_id));
  CefRefPtr<CefBrowserProcessHandler> handler = app_ ? app_->GetBrowserProcessHandler() : nullptr;
  if (handler) handler->OnBeforeChildProcessLaunch(line);
  std::vector<CefString> words;
  line->GetArgv(words);
  std::vector<std::string> argv;
  for (const CefString& word : words) argv.push_back(word.ToString());
  if (argv.empty() || argv[0].empty()) {
    LOG(ERROR) << "render process for browser " << browser_id << ": no program to run";
    return nullptr;
  }
  std::unique_ptr<RenderProcessHost> host =
      RenderProcessHost::Start(argv, handler, [this, browser_id, generation] {
        PostUi([this, browser_id, generation] {
          auto it = browsers_.find(browser_id);
          if (it != browsers_.end()) it->second->OnRenderProcessLost(generation);
        });
      });
  if (host) {
    LOG(INFO) << "render process " << host->pid() << " started for browser " << browser_id;
  }
  return host;
}

void Engine::RetireRenderProcess(std::unique_ptr<RenderProcessHost> host) {
  if (!host) return;
  host->Close();
  retired_renderers_.push_back(std::move(host));
}

void Engine::ReapRetiredRenderProcesses(bool wait) {
  if (wait) {
    // Destroying a host waits for its child; every link is already closed,
    // so the children end side by side.
    retired_renderers_.clear();
    return;
  }
  std::erase_if(retired_renderers_, [](const std::unique_ptr<RenderProcessHost>& host) {
    return host->Exited();
  });
}

void Engine::RegisterSession(const std::string& session_id, int browser_id) {
  std::lock_guard<std::mutex> hold(sessions_lock_);
  sessions_[session_id] = browser_id;
}

void Engine::UnregisterSession(const std::string& session_id) {
  std::lock_guard<std::mutex> hold(sessions_lock_);
  sessions_.erase(session_id);
}

void Engine::ForgetBrowser(int browser_id) { browsers_.erase(browser_id); }

BrowserImpl* Engine::BrowserForSession(const std::string& session_id) {
  int id = 0;
  {
    std::lock_guard<std::mutex> hold(sessions_lock_);
    auto it = sessions_.find(session_id);
    if (it == sessions_.end()) return nullptr;
    id = it->second;
  }
  auto it = browsers_.find(id);
  return it == browsers_.end() ? nullptr : it->second.get();
}

BrowserImpl* Engine::BrowserForTarget(const std::string& target_id) {
  for (auto& [id, browser] : browsers_) {
    if (browser->target_id() == target_id) return browser.get();
  }
  return nullptr;
}

void Engine::OnEvent(Json message) {
  // Frames go to the decoder without a detour through the UI thread, and
  // are acknowledged at once so that the engine renders the next one while
  // this one is decoded.
  if (GetString(message, "method") == "Page.screencastFrame") {
    const std::string session_id = GetString(message, "sessionId");
    int browser_id = 0;
    {
      std::lock_guard<std::mutex> hold(sessions_lock_);
      auto it = sessions_.find(session_id);
      if (it != sessions_.end()) browser_id = it->second;
    }
    Json& params = message["params"];
    if (!params.is_object()) return;
    connection_->Send("Page.screencastFrameAck", {{"sessionId", GetInt(params, "sessionId")}},
                      session_id);
    Json& data = params["data"];
    if (browser_id && data.is_string()) {
      pipeline_->Submit(browser_id, std::move(data.get_ref<std::string&>()));
    }
    return;
  }
  auto shared = std::make_shared<Json>(std::move(message));
  PostUi([this, shared] { HandleEvent(*shared); });
}

void Engine::OnReply(DevToolsConnection::ReplyCallback callback, Json result, std::string error) {
  auto shared = std::make_shared<Json>(std::move(result));
  PostUi([callback = std::move(callback), shared, error = std::move(error)] {
    callback(*shared, error);
  });
}

void Engine::OnDisconnected() {
  PostUi([this] { HandleEngineLost(); });
}

void Engine::HandleEvent(const Json& message) {
  const std::string method = GetString(message, "method");
  const Json& params = GetObject(message, "params");
  const std::string session_id = GetString(message, "sessionId");
  if (!session_id.empty()) {
    if (BrowserImpl* browser = BrowserForSession(session_id)) {
      CefRefPtr<BrowserImpl> keep = browser;
      if (method == "Inspector.detached" && session_id == keep->session_id()) {
        keep->OnTargetGone();
      } else {
        keep->HandleEvent(session_id, method, params);
      }
    }
    return;
  }
  if (method == "Target.detachedFromTarget") {
    // Only the end of a page session ends its browser; an iframe's session
    // ends with an event on its parent's session.
    const std::string detached = GetString(params, "sessionId");
    BrowserImpl* browser = BrowserForSession(detached);
    if (browser && browser->session_id() == detached) {
      CefRefPtr<BrowserImpl> keep = browser;
      keep->OnTargetGone();
    }
  } else if (method == "Target.targetDestroyed") {
    if (BrowserImpl* browser = BrowserForTarget(GetString(params, "targetId"))) {
      CefRefPtr<BrowserImpl> keep = browser;
      keep->OnTargetGone();
    }
  }
}

void Engine::HandleEngineLost() {
  if (!alive_) return;
  alive_ = false;
  int code = -1;
  if (process_ && process_->WaitForExit(std::chrono::milliseconds(0))) code = process_->exit_code();
  LOG(ERROR) << "the engine has gone (exit code " << code << "); its browsers are closed";
  std::vector<CefRefPtr<BrowserImpl>> open;
  for (auto& [id, browser] : browsers_) open.push_back(browser);
  for (auto& browser : open) browser->OnTargetGone();
}

}  // namespace cef_engine
