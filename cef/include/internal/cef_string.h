// Strings of the API: UTF-16, as the framework has them on Windows.
//
// cef_string_t is the plain struct that API records (CefSettings,
// CefWindowInfo, ...) carry. CefString is the C++ class every method takes
// and returns; it either owns its text or is attached to a cef_string_t of
// a record, so that
//
//   CefString(&settings.cache_path) = u"C:/home";
//   std::string utf8 = CefString(&settings.cache_path).ToString();
//
// read and write the record's field in place.
#ifndef CEF_INCLUDE_INTERNAL_CEF_STRING_H_
#define CEF_INCLUDE_INTERNAL_CEF_STRING_H_

#include <cstddef>
#include <string>
#include <string_view>

typedef char16_t char16;

// A UTF-16 string owned by whoever set it: dtor frees str (null when str
// was not allocated, e.g. a string that points at constant text).
typedef struct _cef_string_utf16_t {
  char16* str;
  size_t length;
  void (*dtor)(char16* str);
} cef_string_utf16_t;
typedef cef_string_utf16_t cef_string_t;

// Replaces *output with length units of src. With copy the text is copied
// into a new allocation that *output then owns (freed by its dtor);
// without copy *output points at src, which must outlive it. Returns 1.
int cef_string_utf16_set(const char16* src, size_t src_len, cef_string_utf16_t* output,
                         int copy);
// Frees what *str owns and makes it empty.
void cef_string_utf16_clear(cef_string_utf16_t* str);

// A UTF-16 string value, owning or attached (see the top of this file).
// Conversions to and from UTF-8 replace invalid sequences with U+FFFD.
class CefString {
 public:
  // Owning, empty.
  CefString();
  // Owning copies.
  CefString(const CefString& other);
  CefString(CefString&& other) noexcept;
  CefString(const char* utf8);                  // null = empty
  CefString(const std::string& utf8);
  CefString(std::string_view utf8);
  CefString(const char16* utf16);               // null = empty
  CefString(const std::u16string& utf16);
  CefString(const char16* utf16, size_t length, bool copy);
  // Owning copy of a record's string (null = empty).
  CefString(const cef_string_t* str);
  // Attached to a record's string: reads and writes go to *str, which must
  // outlive this object. Null makes an owning empty string.
  CefString(cef_string_t* str);
  ~CefString();

  // Assignment writes the text into this object (into the attached struct
  // when attached).
  CefString& operator=(const CefString& other);
  CefString& operator=(CefString&& other) noexcept;
  CefString& operator=(const char* utf8) { FromString(std::string_view(utf8 ? utf8 : "")); return *this; }
  CefString& operator=(const std::string& utf8) { FromString(utf8); return *this; }
  CefString& operator=(const char16* utf16) { FromString16(std::u16string_view(utf16 ? utf16 : u"")); return *this; }
  CefString& operator=(const std::u16string& utf16) { FromString16(utf16); return *this; }

  // The text; never null (an empty string gives u"").
  const char16* c_str() const;
  size_t length() const;
  size_t size() const { return length(); }
  bool empty() const { return length() == 0; }
  void clear();
  // <0, 0, >0 as the UTF-16 units compare.
  int compare(const CefString& other) const;
  std::u16string_view view() const { return std::u16string_view(c_str(), length()); }

  // UTF-8 copy.
  std::string ToString() const;
  // UTF-16 copy (the system's string16).
  std::u16string ToString16() const;
  operator std::string() const { return ToString(); }
  operator std::u16string() const { return ToString16(); }

  // Replace the text; return true.
  bool FromString(std::string_view utf8);
  bool FromString16(std::u16string_view utf16);
  // Each byte (7-bit ASCII expected) becomes one unit.
  bool FromASCII(const char* ascii);

  // The struct behind this string (owned or attached).
  const cef_string_t* GetStruct() const { return string_; }
  cef_string_t* GetWritableStruct() { return string_; }
  bool IsOwner() const { return string_ == &owned_; }

 private:
  void Assign(std::u16string_view text);

  cef_string_t owned_ = {nullptr, 0, nullptr};
  cef_string_t* string_ = &owned_;
};

bool operator==(const CefString& a, const CefString& b);
bool operator!=(const CefString& a, const CefString& b);
bool operator<(const CefString& a, const CefString& b);

#endif  // CEF_INCLUDE_INTERNAL_CEF_STRING_H_
