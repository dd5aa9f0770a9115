// Named shared memory (a Windows file mapping backed by the paging file):
// the host creates a named object of a given size, another process opens it
// by name and maps a view of it.
//
//   // host side
//   auto surface = SharedMemoryRegion::Create(u"vemo_surface_1", size);
//   // sub-process side
//   auto view = SharedMemoryRegion::Open(u"vemo_surface_1", /*read_only=*/false);
//   if (view && view->Map(size)) ... view->memory() ...
//
// A view never reaches beyond the object: Map fails cleanly when the object
// is smaller than asked, so no access through memory() can fault later.
#ifndef IPC_BASE_PLATFORM_SHARED_MEMORY_H_
#define IPC_BASE_PLATFORM_SHARED_MEMORY_H_

#include <cstddef>
#include <memory>
#include <string>

namespace ipcbase::platform {

class SharedMemoryRegion {
 public:
  // The host side (CreateFileMappingW(INVALID_HANDLE_VALUE, PAGE_READWRITE,
  // size, name) + MapViewOfFile(FILE_MAP_ALL_ACCESS, size)): creates the
  // object `name` of `size` bytes (size > 0), zero-filled, and maps all of it
  // read-write. Null (last error set) on failure: kErrorAlreadyExists when
  // an object of that name exists, kErrorInvalidParameter for an empty name,
  // a name with '/' or NUL in it, or a size of 0. The name is removed when
  // the creator is destroyed; views opened meanwhile stay valid until they
  // are unmapped.
  static std::unique_ptr<SharedMemoryRegion> Create(const std::u16string& name, size_t size);

  // The opening side (OpenFileMappingW(FILE_MAP_READ or FILE_MAP_ALL_ACCESS,
  // FALSE, name)): opens the existing object `name`, nothing mapped yet.
  // Null (last error set) on failure: kErrorFileNotFound when there is no
  // such object, kErrorInvalidParameter for a bad name as above.
  static std::unique_ptr<SharedMemoryRegion> Open(const std::u16string& name, bool read_only);

  // Unmaps the view, closes the object and, for the creator, removes the
  // name.
  virtual ~SharedMemoryRegion() = default;

  // Maps the first `size` bytes (size > 0) with the access the object was
  // opened with (MapViewOfFile). False (last error set) when a view is
  // mapped already or `size` is 0 (kErrorInvalidParameter), when the object
  // is smaller than `size` (kErrorAccessDenied, what MapViewOfFile reports
  // for a view beyond the end of a mapping), or when the view cannot be
  // mapped.
  virtual bool Map(size_t size) = 0;

  // Unmaps the view, if any (UnmapViewOfFile); the object stays open.
  virtual void Unmap() = 0;

  // The mapped view, or null; its size in bytes, or 0.
  virtual void* memory() const = 0;
  virtual size_t mapped_size() const = 0;

  // The object's name as given.
  virtual const std::u16string& name() const = 0;
  virtual bool read_only() const = 0;
};

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_SHARED_MEMORY_H_
