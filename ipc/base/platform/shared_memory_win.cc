#include "ipc/base/platform/shared_memory.h"

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/windows_win.h"

// A named object is a file mapping backed by the paging file. Windows keeps
// an object's name while any handle to it is open, and a mapped view keeps
// the memory (not the name) alive. So that the name goes with its creator,
// as the contract has it, an opener holds its handle only until its view is
// mapped; a later Map after Unmap opens the name again.
namespace ipcbase::platform {
namespace {

// Windows limits object names to MAX_PATH characters.
constexpr size_t kMaxNameLength = MAX_PATH - 1;

bool IsValidName(const std::u16string& name) {
  return !name.empty() && name.size() <= kMaxNameLength &&
         name.find_first_of(std::u16string_view(u"/\0", 2)) == std::u16string::npos;
}

DWORD ViewAccess(bool read_only) { return read_only ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS; }

class WinSharedMemoryRegion final : public SharedMemoryRegion {
 public:
  WinSharedMemoryRegion(HANDLE mapping, std::u16string name, bool read_only, bool creator)
      : mapping_(mapping), name_(std::move(name)), read_only_(read_only), creator_(creator) {}

  ~WinSharedMemoryRegion() override {
    Unmap();
    if (mapping_ != nullptr) ::CloseHandle(mapping_);
  }

  bool Map(size_t size) override {
    if (memory_ != nullptr || size == 0) {
      SetLastError(kErrorInvalidParameter);
      return false;
    }
    if (mapping_ == nullptr) {
      mapping_ = ::OpenFileMappingW(ViewAccess(read_only_), FALSE, win::AsWide(name_));
      if (mapping_ == nullptr) return false;
    }
    // A view beyond the end of the object fails here (ERROR_ACCESS_DENIED),
    // never later on first touch.
    void* memory = ::MapViewOfFile(mapping_, ViewAccess(read_only_), 0, 0, size);
    if (memory == nullptr) return false;
    memory_ = memory;
    mapped_size_ = size;
    if (!creator_) {
      // The view keeps the memory; the handle would only keep the name.
      ::CloseHandle(mapping_);
      mapping_ = nullptr;
    }
    return true;
  }

  void Unmap() override {
    if (memory_ == nullptr) return;
    ::UnmapViewOfFile(memory_);
    memory_ = nullptr;
    mapped_size_ = 0;
  }

  void* memory() const override { return memory_; }
  size_t mapped_size() const override { return mapped_size_; }
  const std::u16string& name() const override { return name_; }
  bool read_only() const override { return read_only_; }

 private:
  HANDLE mapping_;  // null for an opener whose view is mapped
  const std::u16string name_;
  const bool read_only_;
  const bool creator_;
  void* memory_ = nullptr;
  size_t mapped_size_ = 0;
};

}  // namespace

std::unique_ptr<SharedMemoryRegion> SharedMemoryRegion::Create(const std::u16string& name,
                                                               size_t size) {
  if (!IsValidName(name) || size == 0) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  const uint64_t size64 = size;
  SetLastError(kErrorSuccess);  // a fresh object leaves it at 0
  HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(size64 >> 32),
                                        static_cast<DWORD>(size64), win::AsWide(name));
  if (mapping == nullptr) return nullptr;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    // That opened someone else's object; it stays theirs.
    ::CloseHandle(mapping);
    SetLastError(kErrorAlreadyExists);
    return nullptr;
  }
  auto region = std::make_unique<WinSharedMemoryRegion>(mapping, name, false, true);
  if (!region->Map(size)) return nullptr;  // last error set; the name goes with it
  return region;
}

std::unique_ptr<SharedMemoryRegion> SharedMemoryRegion::Open(const std::u16string& name,
                                                             bool read_only) {
  if (!IsValidName(name)) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  HANDLE mapping = ::OpenFileMappingW(ViewAccess(read_only), FALSE, win::AsWide(name));
  if (mapping == nullptr) return nullptr;
  return std::make_unique<WinSharedMemoryRegion>(mapping, name, read_only, false);
}

}  // namespace ipcbase::platform
