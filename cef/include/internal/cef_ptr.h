// CefRefPtr<T>: a smart pointer to a reference-counted object.
//
//   CefRefPtr<CefBrowser> browser = ...;   // AddRef
//   browser = nullptr;                      // Release (the last one deletes)
//
// T is any class with AddRef() and Release() (every CefBaseRefCounted).
// Copying adds a reference, moving takes it over, destruction releases it.
// The pointer converts implicitly to T*, so it can be tested, compared and
// passed where a raw pointer is expected. Not thread-safe as an object (two
// threads must not assign the same CefRefPtr at once); the count it changes
// is atomic, so distinct CefRefPtrs to one object may live on any threads.
#ifndef CEF_INCLUDE_INTERNAL_CEF_PTR_H_
#define CEF_INCLUDE_INTERNAL_CEF_PTR_H_

#include <cstddef>
#include <utility>

template <class T>
class CefRefPtr {
 public:
  typedef T element_type;

  CefRefPtr() = default;
  CefRefPtr(std::nullptr_t) {}
  CefRefPtr(T* p) : ptr_(p) {
    if (ptr_) ptr_->AddRef();
  }
  CefRefPtr(const CefRefPtr<T>& r) : CefRefPtr(r.ptr_) {}
  template <typename U>
  CefRefPtr(const CefRefPtr<U>& r) : CefRefPtr(r.get()) {}
  CefRefPtr(CefRefPtr<T>&& r) noexcept : ptr_(r.ptr_) { r.ptr_ = nullptr; }
  template <typename U>
  CefRefPtr(CefRefPtr<U>&& r) noexcept : ptr_(r.release()) {}

  ~CefRefPtr() {
    if (ptr_) ptr_->Release();
  }

  T* get() const { return ptr_; }
  operator T*() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  T* operator->() const { return ptr_; }

  // Gives up the reference without releasing it; the caller owns it now.
  T* release() {
    T* p = ptr_;
    ptr_ = nullptr;
    return p;
  }

  CefRefPtr<T>& operator=(T* p) {
    // AddRef first, so that assigning an object to itself is safe.
    if (p) p->AddRef();
    T* old = ptr_;
    ptr_ = p;
    if (old) old->Release();
    return *this;
  }
  CefRefPtr<T>& operator=(const CefRefPtr<T>& r) { return *this = r.ptr_; }
  template <typename U>
  CefRefPtr<T>& operator=(const CefRefPtr<U>& r) {
    return *this = r.get();
  }
  CefRefPtr<T>& operator=(CefRefPtr<T>&& r) noexcept {
    if (this != &r) {
      T* old = ptr_;
      ptr_ = r.ptr_;
      r.ptr_ = nullptr;
      if (old) old->Release();
    }
    return *this;
  }
  CefRefPtr<T>& operator=(std::nullptr_t) { return *this = static_cast<T*>(nullptr); }

  void swap(CefRefPtr<T>& r) { std::swap(ptr_, r.ptr_); }

 private:
  T* ptr_ = nullptr;
};

#endif  // CEF_INCLUDE_INTERNAL_CEF_PTR_H_
