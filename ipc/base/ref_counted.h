// Reference counting for objects shared between threads.
//
//   class Context : public ipcbase::RefCountedThreadSafe<Context> { ... };
//   scoped_refptr<Context> context = new Context();
//
// The count is changed only by atomic increments and decrements; the object
// is deleted by the thread that drops the last reference, through
// T::OnLastReference() when T declares one (to hand deletion elsewhere),
// else by delete.
#ifndef IPC_BASE_REF_COUNTED_H_
#define IPC_BASE_REF_COUNTED_H_

#include <atomic>
#include <cstdint>
#include <utility>

namespace ipcbase {

template <typename T>
class RefCountedThreadSafe {
 public:
  void AddRef() const { ref_count_.fetch_add(1, std::memory_order_relaxed); }

  void Release() const {
    if (ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      T* self = const_cast<T*>(static_cast<const T*>(this));
      if constexpr (requires { self->OnLastReference(); }) {
        self->OnLastReference();
      } else {
        delete self;
      }
    }
  }

  // True when exactly one reference exists (the caller's).
  bool HasOneRef() const { return ref_count_.load(std::memory_order_acquire) == 1; }

 protected:
  RefCountedThreadSafe() = default;
  ~RefCountedThreadSafe() = default;
  RefCountedThreadSafe(const RefCountedThreadSafe&) = delete;
  RefCountedThreadSafe& operator=(const RefCountedThreadSafe&) = delete;

 private:
  mutable std::atomic<int32_t> ref_count_{0};
};

}  // namespace ipcbase

// A smart pointer that holds one reference to T (any type with AddRef and
// Release).
template <typename T>
class scoped_refptr {
 public:
  scoped_refptr() = default;
  scoped_refptr(T* p) : ptr_(p) {  // NOLINT: implicit like a raw pointer
    if (ptr_) ptr_->AddRef();
  }
  scoped_refptr(const scoped_refptr& other) : scoped_refptr(other.ptr_) {}
  template <typename U>
  scoped_refptr(const scoped_refptr<U>& other) : scoped_refptr(other.get()) {}
  scoped_refptr(scoped_refptr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ~scoped_refptr() {
    if (ptr_) ptr_->Release();
  }

  scoped_refptr& operator=(T* p) {
    if (p) p->AddRef();
    T* old = std::exchange(ptr_, p);
    if (old) old->Release();
    return *this;
  }
  scoped_refptr& operator=(const scoped_refptr& other) { return *this = other.ptr_; }
  scoped_refptr& operator=(scoped_refptr&& other) noexcept {
    if (this != &other) {
      T* old = std::exchange(ptr_, std::exchange(other.ptr_, nullptr));
      if (old) old->Release();
    }
    return *this;
  }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  operator T*() const { return ptr_; }  // NOLINT

 private:
  T* ptr_ = nullptr;
};

#endif  // IPC_BASE_REF_COUNTED_H_
