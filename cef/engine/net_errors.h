// The engine's network errors: it reports names ("net::ERR_ABORTED"), the
// API reports numbers with the name.
#ifndef CEF_ENGINE_NET_ERRORS_H_
#define CEF_ENGINE_NET_ERRORS_H_

#include <string>

#include "cef/include/internal/cef_types.h"

namespace cef_engine {

// The name without the "net::" prefix ("ERR_ABORTED"); text unchanged when
// it has none.
std::string NetErrorName(const std::string& text);

// The number of an error name (with or without prefix); ERR_FAILED for a
// name not in the table.
cef_errorcode_t NetErrorCode(const std::string& text);

}  // namespace cef_engine

#endif  // CEF_ENGINE_NET_ERRORS_H_
