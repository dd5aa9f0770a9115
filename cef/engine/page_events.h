// Turning page-side DevTools data into what the handlers receive: console
// message text, cursor types, dialog origins.
#ifndef CEF_ENGINE_PAGE_EVENTS_H_
#define CEF_ENGINE_PAGE_EVENTS_H_

#include <string>

#include "cef/engine/json_util.h"
#include "cef/include/internal/cef_types.h"

namespace cef_engine {

// The text of a console call from its RemoteObject arguments, with the
// first argument's format specifiers (%s %d %i %f %o %O %c %%) applied and
// the rest joined by spaces.
std::string FormatConsoleMessage(const Json& args);

// One argument as console text: strings as they are, numbers, booleans,
// null and undefined by value, objects by their description.
std::string ConsoleText(const Json& remote_object);

// The cursor type of a CSS cursor keyword ("pointer" -> CT_HAND); unknown
// keywords give CT_POINTER.
cef_cursor_type_t CursorTypeForCss(const std::string& keyword);

// The origin of an address as "scheme://host[:port]/" ("file:///" for
// file URLs); the address itself when it has no host.
std::string OriginOf(const std::string& url);

}  // namespace cef_engine

#endif  // CEF_ENGINE_PAGE_EVENTS_H_
