// Reading DevTools JSON without exceptions: every accessor checks the type
// and gives a default when the value is missing or of another type.
#ifndef CEF_ENGINE_JSON_UTIL_H_
#define CEF_ENGINE_JSON_UTIL_H_

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace cef_engine {

using Json = nlohmann::json;

// The member key of object, or null.
inline const Json* Member(const Json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

inline std::string GetString(const Json& object, const char* key,
                             const std::string& fallback = std::string()) {
  const Json* v = Member(object, key);
  return v && v->is_string() ? v->get_ref<const std::string&>() : fallback;
}

inline int64_t GetInt(const Json& object, const char* key, int64_t fallback = 0) {
  const Json* v = Member(object, key);
  if (v && v->is_number_integer()) return v->get<int64_t>();
  if (v && v->is_number_float()) return static_cast<int64_t>(v->get<double>());
  return fallback;
}

inline double GetDouble(const Json& object, const char* key, double fallback = 0) {
  const Json* v = Member(object, key);
  return v && v->is_number() ? v->get<double>() : fallback;
}

inline bool GetBool(const Json& object, const char* key, bool fallback = false) {
  const Json* v = Member(object, key);
  return v && v->is_boolean() ? v->get<bool>() : fallback;
}

// The member object key of object, or an empty object.
inline const Json& GetObject(const Json& object, const char* key) {
  static const Json kEmpty = Json::object();
  const Json* v = Member(object, key);
  return v && v->is_object() ? *v : kEmpty;
}

// The member array key of object, or an empty array.
inline const Json& GetArray(const Json& object, const char* key) {
  static const Json kEmpty = Json::array();
  const Json* v = Member(object, key);
  return v && v->is_array() ? *v : kEmpty;
}

// Serialises without throwing (invalid UTF-8 is replaced).
inline std::string Serialize(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace cef_engine

#endif  // CEF_ENGINE_JSON_UTIL_H_
