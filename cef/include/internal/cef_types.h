// Plain records and enumerations of the API. The C++ wrappers that
// initialise and copy the records are in cef_types_wrappers.h.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_H_

#include <cstddef>
#include <cstdint>

#include "cef/include/internal/cef_string.h"

typedef uint32_t cef_color_t;

// A native window handle. Windowless browsers have none; the field stays 0.
typedef uintptr_t cef_window_handle_t;

// A native cursor handle as OnCursorChange reports it. This engine has no
// native cursors; each cursor type has a fixed value instead (see
// cef_render_handler.h, CefCursorHandleForType).
typedef void* cef_cursor_handle_t;

// A native event (MSG* on Windows). Null here: events come from
// SendKeyEvent, never from a native window.
typedef void* cef_event_handle_t;

// Arguments of the process entry point.
typedef struct _cef_main_args_t {
  int argc;
  char** argv;
} cef_main_args_t;

// Log levels of cef_settings_t.log_severity.
typedef enum {
  LOGSEVERITY_DEFAULT = 0,
  LOGSEVERITY_VERBOSE,
  LOGSEVERITY_INFO,
  LOGSEVERITY_WARNING,
  LOGSEVERITY_ERROR,
  LOGSEVERITY_DISABLE = 99,
} cef_log_severity_t;

// Three-state switches of cef_browser_settings_t.
typedef enum {
  STATE_DEFAULT = 0,
  STATE_ENABLED,
  STATE_DISABLED,
} cef_state_t;

// Global settings handed to CefInitialize. size must be
// sizeof(cef_settings_t) (288 bytes on 64-bit targets); CefSettings sets it.
typedef struct _cef_settings_t {
  size_t size;
  // Ignored: the engine always runs in its own processes.
  int single_process;
  // Nonzero: the engine runs without its sandbox (required as root).
  int no_sandbox;
  // Ignored: render processes are started by the layer itself.
  cef_string_t browser_subprocess_path;
  // Must be 0: the caller pumps CefDoMessageLoopWork on its UI thread.
  int multi_threaded_message_loop;
  // Must be nonzero for windowless browsers (the only kind here).
  int windowless_rendering_enabled;
  // Nonzero: switches on the process command line are not read.
  int command_line_args_disabled;
  // The engine's profile directory (cookies, storage, cache); created when
  // missing. Empty: a private temporary directory, removed by CefShutdown.
  cef_string_t cache_path;
  int persist_session_cookies;
  int persist_user_preferences;
  // Overrides the engine's user agent when not empty.
  cef_string_t user_agent;
  cef_string_t product_version;
  // The engine's UI language ("en-US") when not empty.
  cef_string_t locale;
  cef_string_t log_file;
  // LOGSEVERITY_DISABLE: the engine writes nothing of its own to the log
  // (console messages included).
  cef_log_severity_t log_severity;
  cef_string_t javascript_flags;
  cef_string_t resources_dir_path;
  cef_string_t locales_dir_path;
  int pack_loading_disabled;
  // Must be 0: the engine is driven over a private pipe, never a port.
  int remote_debugging_port;
  int uncaught_exception_stack_size;
  int context_safety_implementation;
  int ignore_certificate_errors;
  cef_color_t background_color;
} cef_settings_t;

// Per-browser settings handed to CefBrowserHost::CreateBrowser.
typedef struct _cef_browser_settings_t {
  size_t size;
  // Upper bound of OnPaint calls per second, 1..60; 0 means 30.
  int windowless_frame_rate;
  cef_string_t standard_font_family;
  cef_string_t fixed_font_family;
  cef_string_t serif_font_family;
  cef_string_t sans_serif_font_family;
  cef_string_t cursive_font_family;
  cef_string_t fantasy_font_family;
  int default_font_size;
  int default_fixed_font_size;
  int minimum_font_size;
  int minimum_logical_font_size;
  cef_string_t default_encoding;
  cef_state_t remote_fonts;
  // STATE_DISABLED turns script off for the browser's pages.
  cef_state_t javascript;
  cef_state_t javascript_open_windows;
  cef_state_t javascript_close_windows;
  cef_state_t javascript_access_clipboard;
  cef_state_t javascript_dom_paste;
  cef_state_t caret_browsing;
  cef_state_t plugins;
  cef_state_t universal_access_from_file_urls;
  // STATE_ENABLED lets file:// pages read other file:// URLs. The engine
  // process grants this to all its browsers (see CefInitialize).
  cef_state_t file_access_from_file_urls;
  cef_state_t web_security;
  cef_state_t image_loading;
  cef_state_t image_shrink_standalone_to_fit;
  cef_state_t text_area_resize;
  cef_state_t tab_to_links;
  cef_state_t local_storage;
  cef_state_t databases;
  cef_state_t application_cache;
  cef_state_t webgl;
  cef_color_t background_color;
  cef_string_t accept_language_list;
} cef_browser_settings_t;

// How a browser is shown. Only windowless browsers exist here.
typedef struct _cef_window_info_t {
  cef_string_t window_name;
  int x;
  int y;
  int width;
  int height;
  cef_window_handle_t parent_window;
  // Must be nonzero: pixels go to CefRenderHandler::OnPaint.
  int windowless_rendering_enabled;
  // Nonzero: the page background is transparent and OnPaint delivers
  // premultiplied alpha; zero: an opaque white background.
  int transparent_painting_enabled;
  cef_window_handle_t window;
} cef_window_info_t;

typedef struct _cef_point_t {
  int x;
  int y;
} cef_point_t;

typedef struct _cef_rect_t {
  int x;
  int y;
  int width;
  int height;
} cef_rect_t;

typedef struct _cef_size_t {
  int width;
  int height;
} cef_size_t;

// Screen description returned by CefRenderHandler::GetScreenInfo.
typedef struct _cef_screen_info_t {
  // Device pixels per view unit; 0 counts as 1.
  float device_scale_factor;
  int depth;
  int depth_per_component;
  int is_monochrome;
  cef_rect_t rect;
  cef_rect_t available_rect;
} cef_screen_info_t;

// Modifier and state flags of mouse and key events.
typedef enum {
  EVENTFLAG_NONE = 0,
  EVENTFLAG_CAPS_LOCK_ON = 1 << 0,
  EVENTFLAG_SHIFT_DOWN = 1 << 1,
  EVENTFLAG_CONTROL_DOWN = 1 << 2,
  EVENTFLAG_ALT_DOWN = 1 << 3,
  EVENTFLAG_LEFT_MOUSE_BUTTON = 1 << 4,
  EVENTFLAG_MIDDLE_MOUSE_BUTTON = 1 << 5,
  EVENTFLAG_RIGHT_MOUSE_BUTTON = 1 << 6,
  // The Windows / Command key.
  EVENTFLAG_COMMAND_DOWN = 1 << 7,
  EVENTFLAG_NUM_LOCK_ON = 1 << 8,
  EVENTFLAG_IS_KEY_PAD = 1 << 9,
  EVENTFLAG_IS_LEFT = 1 << 10,
  EVENTFLAG_IS_RIGHT = 1 << 11,
} cef_event_flags_t;

typedef enum {
  MBT_LEFT = 0,
  MBT_MIDDLE,
  MBT_RIGHT,
} cef_mouse_button_type_t;

// A mouse event in view coordinates (pixels of GetViewRect).
typedef struct _cef_mouse_event_t {
  int x;
  int y;
  // cef_event_flags_t bits.
  uint32_t modifiers;
} cef_mouse_event_t;

typedef enum {
  PET_VIEW = 0,
  PET_POPUP,
} cef_paint_element_type_t;

typedef enum {
  // A key went down (no character; a KEYEVENT_CHAR follows for keys that
  // type one), as Windows WM_KEYDOWN.
  KEYEVENT_RAWKEYDOWN = 0,
  // A key went down and types `character` in the same event.
  KEYEVENT_KEYDOWN,
  KEYEVENT_KEYUP,
  // A typed character, as Windows WM_CHAR.
  KEYEVENT_CHAR,
} cef_key_event_type_t;

// A keyboard event.
typedef struct _cef_key_event_t {
  cef_key_event_type_t type;
  // cef_event_flags_t bits.
  uint32_t modifiers;
  // Windows virtual-key code (VK_*); for KEYEVENT_CHAR the character when
  // `character` is 0.
  int windows_key_code;
  // Windows: the lparam of the key message (scan code, repeat bits).
  int native_key_code;
  // Nonzero for WM_SYSKEYDOWN / WM_SYSKEYUP / WM_SYSCHAR.
  int is_system_key;
  char16 character;
  char16 unmodified_character;
  int focus_on_editable_field;
} cef_key_event_t;

// Cursor types of CefRenderHandler::OnCursorChange.
typedef enum {
  CT_POINTER = 0,
  CT_CROSS,
  CT_HAND,
  CT_IBEAM,
  CT_WAIT,
  CT_HELP,
  CT_EASTRESIZE,
  CT_NORTHRESIZE,
  CT_NORTHEASTRESIZE,
  CT_NORTHWESTRESIZE,
  CT_SOUTHRESIZE,
  CT_SOUTHEASTRESIZE,
  CT_SOUTHWESTRESIZE,
  CT_WESTRESIZE,
  CT_NORTHSOUTHRESIZE,
  CT_EASTWESTRESIZE,
  CT_NORTHEASTSOUTHWESTRESIZE,
  CT_NORTHWESTSOUTHEASTRESIZE,
  CT_COLUMNRESIZE,
  CT_ROWRESIZE,
  CT_MIDDLEPANNING,
  CT_EASTPANNING,
  CT_NORTHPANNING,
  CT_NORTHEASTPANNING,
  CT_NORTHWESTPANNING,
  CT_SOUTHPANNING,
  CT_SOUTHEASTPANNING,
  CT_SOUTHWESTPANNING,
  CT_WESTPANNING,
  CT_MOVE,
  CT_VERTICALTEXT,
  CT_CELL,
  CT_CONTEXTMENU,
  CT_ALIAS,
  CT_PROGRESS,
  CT_NODROP,
  CT_COPY,
  CT_NONE,
  CT_NOTALLOWED,
  CT_ZOOMIN,
  CT_ZOOMOUT,
  CT_GRAB,
  CT_GRABBING,
  CT_CUSTOM,
} cef_cursor_type_t;

// Image of a CT_CUSTOM cursor (never produced by this engine).
typedef struct _cef_cursor_info_t {
  cef_point_t hotspot;
  float image_scale_factor;
  void* buffer;
  cef_size_t size;
} cef_cursor_info_t;

// Network error codes of CefLoadHandler::OnLoadError (negative; 0 = none).
// The numbers are the engine's own; errorText carries the name ("ERR_...").
typedef enum {
  ERR_NONE = 0,
  ERR_IO_PENDING = -1,
  ERR_FAILED = -2,
  ERR_ABORTED = -3,
  ERR_INVALID_ARGUMENT = -4,
  ERR_INVALID_HANDLE = -5,
  ERR_FILE_NOT_FOUND = -6,
  ERR_TIMED_OUT = -7,
  ERR_FILE_TOO_BIG = -8,
  ERR_UNEXPECTED = -9,
  ERR_ACCESS_DENIED = -10,
  ERR_NOT_IMPLEMENTED = -11,
  ERR_INSUFFICIENT_RESOURCES = -12,
  ERR_OUT_OF_MEMORY = -13,
  ERR_UPLOAD_FILE_CHANGED = -14,
  ERR_SOCKET_NOT_CONNECTED = -15,
  ERR_FILE_EXISTS = -16,
  ERR_FILE_PATH_TOO_LONG = -17,
  ERR_FILE_NO_SPACE = -18,
  ERR_FILE_VIRUS_INFECTED = -19,
  ERR_BLOCKED_BY_CLIENT = -20,
  ERR_NETWORK_CHANGED = -21,
  ERR_BLOCKED_BY_ADMINISTRATOR = -22,
  ERR_SOCKET_IS_CONNECTED = -23,
  ERR_UPLOAD_STREAM_REWIND_NOT_SUPPORTED = -25,
  ERR_CONTEXT_SHUT_DOWN = -26,
  ERR_BLOCKED_BY_RESPONSE = -27,
  ERR_CLEARTEXT_NOT_PERMITTED = -29,
  ERR_BLOCKED_BY_CSP = -30,
  ERR_CONNECTION_CLOSED = -100,
  ERR_CONNECTION_RESET = -101,
  ERR_CONNECTION_REFUSED = -102,
  ERR_CONNECTION_ABORTED = -103,
  ERR_CONNECTION_FAILED = -104,
  ERR_NAME_NOT_RESOLVED = -105,
  ERR_INTERNET_DISCONNECTED = -106,
  ERR_SSL_PROTOCOL_ERROR = -107,
  ERR_ADDRESS_INVALID = -108,
  ERR_ADDRESS_UNREACHABLE = -109,
  ERR_SSL_CLIENT_AUTH_CERT_NEEDED = -110,
  ERR_TUNNEL_CONNECTION_FAILED = -111,
  ERR_NO_SSL_VERSIONS_ENABLED = -112,
  ERR_SSL_VERSION_OR_CIPHER_MISMATCH = -113,
  ERR_SSL_RENEGOTIATION_REQUESTED = -114,
  ERR_PROXY_AUTH_UNSUPPORTED = -115,
  ERR_BAD_SSL_CLIENT_AUTH_CERT = -117,
  ERR_CONNECTION_TIMED_OUT = -118,
  ERR_HOST_RESOLVER_QUEUE_TOO_LARGE = -119,
  ERR_SOCKS_CONNECTION_FAILED = -120,
  ERR_SOCKS_CONNECTION_HOST_UNREACHABLE = -121,
  ERR_ALPN_NEGOTIATION_FAILED = -122,
  ERR_SSL_NO_RENEGOTIATION = -123,
  ERR_PROXY_CONNECTION_FAILED = -130,
  ERR_NAME_RESOLUTION_FAILED = -137,
  ERR_NETWORK_ACCESS_DENIED = -138,
  ERR_CERT_COMMON_NAME_INVALID = -200,
  ERR_CERT_DATE_INVALID = -201,
  ERR_CERT_AUTHORITY_INVALID = -202,
  ERR_CERT_CONTAINS_ERRORS = -203,
  ERR_CERT_NO_REVOCATION_MECHANISM = -204,
  ERR_CERT_UNABLE_TO_CHECK_REVOCATION = -205,
  ERR_CERT_REVOKED = -206,
  ERR_CERT_INVALID = -207,
  ERR_CERT_WEAK_SIGNATURE_ALGORITHM = -208,
  ERR_CERT_NON_UNIQUE_NAME = -210,
  ERR_CERT_WEAK_KEY = -211,
  ERR_CERT_NAME_CONSTRAINT_VIOLATION = -212,
  ERR_CERT_VALIDITY_TOO_LONG = -213,
  ERR_INVALID_URL = -300,
  ERR_DISALLOWED_URL_SCHEME = -301,
  ERR_UNKNOWN_URL_SCHEME = -302,
  ERR_INVALID_REDIRECT = -303,
  ERR_TOO_MANY_REDIRECTS = -310,
  ERR_UNSAFE_REDIRECT = -311,
  ERR_UNSAFE_PORT = -312,
  ERR_INVALID_RESPONSE = -320,
  ERR_INVALID_CHUNKED_ENCODING = -321,
  ERR_METHOD_NOT_SUPPORTED = -322,
  ERR_UNEXPECTED_PROXY_AUTH = -323,
  ERR_EMPTY_RESPONSE = -324,
  ERR_RESPONSE_HEADERS_TOO_BIG = -325,
  ERR_CONTENT_DECODING_FAILED = -330,
  ERR_CACHE_MISS = -400,
  ERR_INSECURE_RESPONSE = -501,
} cef_errorcode_t;

typedef enum {
  JSDIALOGTYPE_ALERT = 0,
  JSDIALOGTYPE_CONFIRM,
  JSDIALOGTYPE_PROMPT,
} cef_jsdialog_type_t;

// Where a page asked a new window to open.
typedef enum {
  WOD_UNKNOWN = 0,
  WOD_CURRENT_TAB,
  WOD_SINGLETON_TAB,
  WOD_NEW_FOREGROUND_TAB,
  WOD_NEW_BACKGROUND_TAB,
  WOD_NEW_POPUP,
  WOD_NEW_WINDOW,
  WOD_SAVE_TO_DISK,
  WOD_OFF_THE_RECORD,
  WOD_IGNORE_ACTION,
} cef_window_open_disposition_t;

// Window features a page asked for with window.open.
typedef struct _cef_popup_features_t {
  int x;
  int xSet;
  int y;
  int ySet;
  int width;
  int widthSet;
  int height;
  int heightSet;
  int menuBarVisible;
  int statusBarVisible;
  int toolBarVisible;
  int scrollbarsVisible;
} cef_popup_features_t;

typedef enum {
  TS_ABNORMAL_TERMINATION = 0,
  TS_PROCESS_WAS_KILLED,
  TS_PROCESS_CRASHED,
} cef_termination_status_t;

typedef enum {
  PID_BROWSER = 0,
  PID_RENDERER,
} cef_process_id_t;

typedef enum {
  VTYPE_INVALID = 0,
  VTYPE_NULL,
  VTYPE_BOOL,
  VTYPE_INT,
  VTYPE_DOUBLE,
  VTYPE_STRING,
  VTYPE_BINARY,
  VTYPE_DICTIONARY,
  VTYPE_LIST,
} cef_value_type_t;

// Threads of the framework, for CefCurrentlyOn.
typedef enum {
  // The thread that called CefInitialize and pumps CefDoMessageLoopWork.
  TID_UI = 0,
  // The engine's IO thread (resource handlers, render-process hand-over).
  TID_IO,
  // A render process's main thread.
  TID_RENDERER,
} cef_thread_id_t;

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
