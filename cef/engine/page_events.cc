#include "cef/engine/page_events.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace cef_engine {

std::string ConsoleText(const Json& o) {
  std::string type = GetString(o, "type");
  if (type == "undefined") return "undefined";
  if (const Json* u = Member(o, "unserializableValue"); u && u->is_string()) {
    return u->get<std::string>();
  }
  if (type == "string") return GetString(o, "value");
  if (GetString(o, "subtype") == "null") return "null";
  if (const Json* v = Member(o, "value")) {
    if (v->is_boolean()) return v->get<bool>() ? "true" : "false";
    if (v->is_number_integer()) return std::to_string(v->get<int64_t>());
    if (v->is_number_float()) {
      double d = v->get<double>();
      if (std::floor(d) == d && std::fabs(d) < 1e15) return std::to_string(static_cast<int64_t>(d));
      char buffer[32];
      std::snprintf(buffer, sizeof(buffer), "%.17g", d);
      // The shortest form that reads back the same.
      for (int precision = 1; precision <= 17; ++precision) {
        char shorter[32];
        std::snprintf(shorter, sizeof(shorter), "%.*g", precision, d);
        if (std::strtod(shorter, nullptr) == d) return shorter;
      }
      return buffer;
    }
    if (v->is_string()) return v->get<std::string>();
  }
  std::string description = GetString(o, "description");
  return description.empty() ? type : description;
}

std::string FormatConsoleMessage(const Json& args) {
  if (!args.is_array() || args.empty()) return std::string();
  size_t next = 1;
  std::string out;
  const Json& first = args[0];
  if (GetString(first, "type") == "string") {
    const std::string format = GetString(first, "value");
    for (size_t i = 0; i < format.size(); ++i) {
      char c = format[i];
      if (c != '%' || i + 1 >= format.size()) {
        out += c;
        continue;
      }
      char conversion = format[i + 1];
      if (conversion == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (std::string("sdifoOc").find(conversion) == std::string::npos || next >= args.size()) {
        out += c;
        continue;
      }
      const Json& arg = args[next++];
      ++i;
      if (conversion == 'c') continue;  // styling: no text
      std::string text = ConsoleText(arg);
      if (conversion == 'd' || conversion == 'i') {
        double d = GetDouble(arg, "value", std::nan(""));
        text = std::isnan(d) ? "NaN" : std::to_string(static_cast<int64_t>(d));
      }
      out += text;
    }
  } else {
    out = ConsoleText(first);
  }
  for (; next < args.size(); ++next) {
    out += ' ';
    out += ConsoleText(args[next]);
  }
  return out;
}

cef_cursor_type_t CursorTypeForCss(const std::string& keyword) {
  struct Entry {
    const char* css;
    cef_cursor_type_t type;
  };
  static constexpr Entry kCursors[] = {
      {"auto", CT_POINTER},          {"default", CT_POINTER},
      {"pointer", CT_HAND},          {"text", CT_IBEAM},
      {"vertical-text", CT_VERTICALTEXT}, {"crosshair", CT_CROSS},
      {"wait", CT_WAIT},             {"progress", CT_PROGRESS},
      {"help", CT_HELP},             {"move", CT_MOVE},
      {"all-scroll", CT_MOVE},       {"e-resize", CT_EASTRESIZE},
      {"n-resize", CT_NORTHRESIZE},  {"ne-resize", CT_NORTHEASTRESIZE},
      {"nw-resize", CT_NORTHWESTRESIZE}, {"s-resize", CT_SOUTHRESIZE},
      {"se-resize", CT_SOUTHEASTRESIZE}, {"sw-resize", CT_SOUTHWESTRESIZE},
      {"w-resize", CT_WESTRESIZE},   {"ns-resize", CT_NORTHSOUTHRESIZE},
      {"ew-resize", CT_EASTWESTRESIZE}, {"nesw-resize", CT_NORTHEASTSOUTHWESTRESIZE},
      {"nwse-resize", CT_NORTHWESTSOUTHEASTRESIZE}, {"col-resize", CT_COLUMNRESIZE},
      {"row-resize", CT_ROWRESIZE},  {"cell", CT_CELL},
      {"context-menu", CT_CONTEXTMENU}, {"alias", CT_ALIAS},
      {"no-drop", CT_NODROP},        {"copy", CT_COPY},
      {"none", CT_NONE},             {"not-allowed", CT_NOTALLOWED},
      {"zoom-in", CT_ZOOMIN},        {"zoom-out", CT_ZOOMOUT},
      {"grab", CT_GRAB},             {"grabbing", CT_GRABBING},
  };
  for (const Entry& e : kCursors) {
    if (keyword == e.css) return e.type;
  }
  return CT_POINTER;
}

std::string OriginOf(const std::string& url) {
  size_t scheme_end = url.find("://");
  if (scheme_end == std::string::npos) return url;
  std::string scheme = url.substr(0, scheme_end);
  if (scheme == "file") return "file:///";
  size_t host_start = scheme_end + 3;
  size_t host_end = url.find_first_of("/?#", host_start);
  std::string authority = url.substr(host_start, host_end == std::string::npos ? std::string::npos
                                                                                : host_end - host_start);
  if (size_t at = authority.rfind('@'); at != std::string::npos) authority = authority.substr(at + 1);
  if (authority.empty()) return url;
  return scheme + "://" + authority + "/";
}

}  // namespace cef_engine
