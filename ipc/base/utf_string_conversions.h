// Conversions between UTF-8 and UTF-16.
//
// Both directions accept any input: an invalid sequence (a stray
// continuation byte, an overlong or truncated UTF-8 sequence, a surrogate
// encoded in UTF-8, an unpaired UTF-16 surrogate) becomes U+FFFD, and the
// conversion goes on with the next unit.
#ifndef IPC_BASE_UTF_STRING_CONVERSIONS_H_
#define IPC_BASE_UTF_STRING_CONVERSIONS_H_

#include <string>
#include <string_view>

#include "ipc/base/string16.h"

namespace ipcbase {

string16 UTF8ToUTF16(std::string_view utf8);
std::string UTF16ToUTF8(std::u16string_view utf16);

// Widens each byte to one UTF-16 unit (the pipe name rule for 8-bit ids).
string16 ASCIIToUTF16(std::string_view ascii);

}  // namespace ipcbase

#endif  // IPC_BASE_UTF_STRING_CONVERSIONS_H_
