// UTF-16 strings. Every UTF-16 string of the system (wire strings, titles,
// paths handed to Windows) is a std::u16string; wchar_t is never used,
// because it is 16 bits on Windows and 32 elsewhere.
#ifndef IPC_BASE_STRING16_H_
#define IPC_BASE_STRING16_H_

#include <string>

using string16 = std::u16string;

#endif  // IPC_BASE_STRING16_H_
