// The reference-counted base of every object that crosses the API, and the
// macro that implements its counting.
//
//   class MyClient : public CefClient {
//     ...
//     IMPLEMENT_REFCOUNTING(MyClient);
//   };
//
// Objects are created with new and die with their last reference (held in
// CefRefPtr). The count is atomic: references may be taken and dropped on
// any thread.
#ifndef CEF_INCLUDE_CEF_BASE_H_
#define CEF_INCLUDE_CEF_BASE_H_

#include <atomic>

#include "cef/include/internal/cef_ptr.h"
#include "cef/include/internal/cef_string.h"
#include "cef/include/internal/cef_types.h"
#include "cef/include/internal/cef_types_wrappers.h"

// Interface of every reference-counted API object. Classes that several
// interfaces share derive from it virtually, so one object has one count.
class CefBaseRefCounted {
 public:
  // Adds one reference.
  virtual void AddRef() const = 0;
  // Drops one reference; true when it was the last one (the object is gone).
  virtual bool Release() const = 0;
  // True when exactly one reference exists.
  virtual bool HasOneRef() const = 0;

 protected:
  virtual ~CefBaseRefCounted() {}
};

// Older name of the same base.
typedef CefBaseRefCounted CefBase;

// The counter behind IMPLEMENT_REFCOUNTING.
class CefRefCount {
 public:
  CefRefCount() = default;
  CefRefCount(const CefRefCount&) = delete;
  CefRefCount& operator=(const CefRefCount&) = delete;

  void AddRef() const { count_.fetch_add(1, std::memory_order_relaxed); }
  // True when the count dropped to zero.
  bool Release() const { return count_.fetch_sub(1, std::memory_order_acq_rel) == 1; }
  bool HasOneRef() const { return count_.load(std::memory_order_acquire) == 1; }

 private:
  mutable std::atomic<int> count_{0};
};

// Implements AddRef/Release/HasOneRef for ClassName; the last Release
// deletes the object.
#define IMPLEMENT_REFCOUNTING(ClassName)                          \
 public:                                                          \
  void AddRef() const override { ref_count_.AddRef(); }           \
  bool Release() const override {                                 \
    if (ref_count_.Release()) {                                   \
      delete static_cast<const ClassName*>(this);                 \
      return true;                                                \
    }                                                             \
    return false;                                                 \
  }                                                               \
  bool HasOneRef() const override { return ref_count_.HasOneRef(); } \
                                                                  \
 private:                                                         \
  CefRefCount ref_count_

// Kept for code written against older releases; locking is not needed.
#define IMPLEMENT_LOCKING(ClassName) static_assert(true, "")

#endif  // CEF_INCLUDE_CEF_BASE_H_
