// Initialisation, deep copies and clean-up of the API records.
#include <cstring>

#include "cef/include/internal/cef_types_wrappers.h"

namespace {

void CopyString(const cef_string_t& from, cef_string_t* to) {
  to->str = nullptr;
  to->length = 0;
  to->dtor = nullptr;
  if (from.str) cef_string_utf16_set(from.str, from.length, to, 1);
}

// Every string field of a record, as member pointers, so that copy and
// clear cannot miss one.
constexpr cef_string_t cef_settings_t::*kSettingsStrings[] = {
    &cef_settings_t::browser_subprocess_path, &cef_settings_t::cache_path,
    &cef_settings_t::user_agent,              &cef_settings_t::product_version,
    &cef_settings_t::locale,                  &cef_settings_t::log_file,
    &cef_settings_t::javascript_flags,        &cef_settings_t::resources_dir_path,
    &cef_settings_t::locales_dir_path,
};

constexpr cef_string_t cef_browser_settings_t::*kBrowserSettingsStrings[] = {
    &cef_browser_settings_t::standard_font_family,
    &cef_browser_settings_t::fixed_font_family,
    &cef_browser_settings_t::serif_font_family,
    &cef_browser_settings_t::sans_serif_font_family,
    &cef_browser_settings_t::cursive_font_family,
    &cef_browser_settings_t::fantasy_font_family,
    &cef_browser_settings_t::default_encoding,
    &cef_browser_settings_t::accept_language_list,
};

constexpr cef_string_t cef_window_info_t::*kWindowInfoStrings[] = {
    &cef_window_info_t::window_name,
};

template <typename Record, size_t N>
void CopyRecord(const Record& from, Record* to, cef_string_t Record::*const (&fields)[N]) {
  std::memcpy(static_cast<void*>(to), &from, sizeof(Record));
  for (auto field : fields) CopyString(from.*field, &(to->*field));
}

template <typename Record, size_t N>
void ClearRecord(Record* record, cef_string_t Record::*const (&fields)[N]) {
  for (auto field : fields) cef_string_utf16_clear(&(record->*field));
}

}  // namespace

#if defined(__x86_64__) || defined(__aarch64__)
static_assert(sizeof(cef_settings_t) == 288, "cef_settings_t must keep its 64-bit size");
#endif

CefSettings::CefSettings() : cef_settings_t{} { size = sizeof(cef_settings_t); }
CefSettings::CefSettings(const CefSettings& other) : cef_settings_t{} {
  CopyRecord<cef_settings_t>(other, this, kSettingsStrings);
}
CefSettings& CefSettings::operator=(const CefSettings& other) {
  if (this != &other) {
    ClearRecord<cef_settings_t>(this, kSettingsStrings);
    CopyRecord<cef_settings_t>(other, this, kSettingsStrings);
  }
  return *this;
}
CefSettings::~CefSettings() { ClearRecord<cef_settings_t>(this, kSettingsStrings); }

CefBrowserSettings::CefBrowserSettings() : cef_browser_settings_t{} {
  size = sizeof(cef_browser_settings_t);
}
CefBrowserSettings::CefBrowserSettings(const CefBrowserSettings& other)
    : cef_browser_settings_t{} {
  CopyRecord<cef_browser_settings_t>(other, this, kBrowserSettingsStrings);
}
CefBrowserSettings& CefBrowserSettings::operator=(const CefBrowserSettings& other) {
  if (this != &other) {
    ClearRecord<cef_browser_settings_t>(this, kBrowserSettingsStrings);
    CopyRecord<cef_browser_settings_t>(other, this, kBrowserSettingsStrings);
  }
  return *this;
}
CefBrowserSettings::~CefBrowserSettings() {
  ClearRecord<cef_browser_settings_t>(this, kBrowserSettingsStrings);
}

CefWindowInfo::CefWindowInfo() : cef_window_info_t{} {}
CefWindowInfo::CefWindowInfo(const CefWindowInfo& other) : cef_window_info_t{} {
  CopyRecord<cef_window_info_t>(other, this, kWindowInfoStrings);
}
CefWindowInfo& CefWindowInfo::operator=(const CefWindowInfo& other) {
  if (this != &other) {
    ClearRecord<cef_window_info_t>(this, kWindowInfoStrings);
    CopyRecord<cef_window_info_t>(other, this, kWindowInfoStrings);
  }
  return *this;
}
CefWindowInfo::~CefWindowInfo() { ClearRecord<cef_window_info_t>(this, kWindowInfoStrings); }
