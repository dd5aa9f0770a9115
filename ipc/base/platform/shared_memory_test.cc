#include "ipc/base/platform/shared_memory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/process.h"
#include "ipc/base/utf_string_conversions.h"

namespace ipcbase::platform {
namespace {

std::u16string UniqueName(const char* what) {
  static std::atomic<int> counter{0};
  return UTF8ToUTF16("vemo_shm_test_" + std::to_string(CurrentProcessId()) + "_" +
                     std::to_string(counter.fetch_add(1)) + "_" + what);
}

TEST(SharedMemoryRegionTest, CreatedObjectIsZeroedAndSharedWithItsOpener) {
  const std::u16string name = UniqueName("shared");
  auto creator = SharedMemoryRegion::Create(name, 8192);
  ASSERT_TRUE(creator);
  ASSERT_NE(creator->memory(), nullptr);
  EXPECT_EQ(creator->mapped_size(), 8192u);
  const auto* bytes = static_cast<const unsigned char*>(creator->memory());
  for (size_t i = 0; i < 8192; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;

  auto opener = SharedMemoryRegion::Open(name, false);
  ASSERT_TRUE(opener);
  EXPECT_EQ(opener->memory(), nullptr);  // nothing mapped before Map
  ASSERT_TRUE(opener->Map(8192));
  std::memcpy(opener->memory(), "tile", 4);
  static_cast<char*>(opener->memory())[8191] = 'z';
  EXPECT_EQ(std::memcmp(creator->memory(), "tile", 4), 0);
  EXPECT_EQ(static_cast<const char*>(creator->memory())[8191], 'z');
}

TEST(SharedMemoryRegionTest, ViewLargerThanTheObjectFailsCleanly) {
  const std::u16string name = UniqueName("small");
  auto creator = SharedMemoryRegion::Create(name, 4096);
  ASSERT_TRUE(creator);
  auto opener = SharedMemoryRegion::Open(name, false);
  ASSERT_TRUE(opener);
  EXPECT_FALSE(opener->Map(4097));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(opener->memory(), nullptr);
  EXPECT_EQ(opener->mapped_size(), 0u);
  // A view that fits still maps afterwards, and a second one is refused.
  ASSERT_TRUE(opener->Map(4096));
  EXPECT_FALSE(opener->Map(16));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  opener->Unmap();
  EXPECT_EQ(opener->memory(), nullptr);
  EXPECT_TRUE(opener->Map(16));
}

TEST(SharedMemoryRegionTest, ReadOnlyViewSeesTheCreatorsWrites) {
  const std::u16string name = UniqueName("readonly");
  auto creator = SharedMemoryRegion::Create(name, 64);
  ASSERT_TRUE(creator);
  std::memcpy(creator->memory(), "pixels", 6);
  auto reader = SharedMemoryRegion::Open(name, true);
  ASSERT_TRUE(reader);
  EXPECT_TRUE(reader->read_only());
  ASSERT_TRUE(reader->Map(64));
  EXPECT_EQ(std::memcmp(reader->memory(), "pixels", 6), 0);
}

TEST(SharedMemoryRegionTest, CreatorRemovesTheNameButOpenViewsStay) {
  const std::u16string name = UniqueName("removed");
  auto creator = SharedMemoryRegion::Create(name, 4096);
  ASSERT_TRUE(creator);
  auto opener = SharedMemoryRegion::Open(name, false);
  ASSERT_TRUE(opener);
  ASSERT_TRUE(opener->Map(4096));
  creator.reset();
  static_cast<char*>(opener->memory())[4095] = 'x';  // still mapped memory
  EXPECT_EQ(static_cast<const char*>(opener->memory())[4095], 'x');
  EXPECT_FALSE(SharedMemoryRegion::Open(name, false));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  // The name can be created anew.
  EXPECT_TRUE(SharedMemoryRegion::Create(name, 16));
}

TEST(SharedMemoryRegionTest, CreatingAnExistingNameFails) {
  const std::u16string name = UniqueName("twice");
  auto first = SharedMemoryRegion::Create(name, 16);
  ASSERT_TRUE(first);
  EXPECT_FALSE(SharedMemoryRegion::Create(name, 16));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  // The failed attempt did not take the name away from the first creator.
  EXPECT_TRUE(SharedMemoryRegion::Open(name, true));
}

TEST(SharedMemoryRegionTest, OpeningAMissingNameFails) {
  EXPECT_FALSE(SharedMemoryRegion::Open(UniqueName("missing"), false));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST(SharedMemoryRegionTest, BadNamesAndSizesAreRefused) {
  struct Case {
    std::u16string name;
    size_t size;
  };
  const Case cases[] = {
      {u"", 16},
      {u"a/b", 16},
      {std::u16string(u"nul\0inside", 10), 16},
      {std::u16string(300, u'n'), 16},
      {UniqueName("zero"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(UTF16ToUTF8(c.name));
    EXPECT_FALSE(SharedMemoryRegion::Create(c.name, c.size));
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
    if (c.size != 0) {
      EXPECT_FALSE(SharedMemoryRegion::Open(c.name, false));
      EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
    }
  }
}

}  // namespace
}  // namespace ipcbase::platform
