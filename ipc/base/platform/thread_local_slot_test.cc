#include "ipc/base/platform/thread_local_slot.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ipc/base/platform/error.h"

namespace ipcbase::platform {
namespace {

TEST(ThreadLocalSlotTest, ValuesArePerThreadAndStartNull) {
  TlsSlot slot = AllocateTlsSlot();
  ASSERT_NE(slot, kTlsOutOfIndexes);
  EXPECT_EQ(GetTlsValue(slot), nullptr);
  int mine = 0;
  ASSERT_TRUE(SetTlsValue(slot, &mine));
  int theirs = 0;
  void* seen_before_set = &theirs;
  void* seen_after_set = nullptr;
  std::thread other([&] {
    seen_before_set = GetTlsValue(slot);
    SetTlsValue(slot, &theirs);
    seen_after_set = GetTlsValue(slot);
  });
  other.join();
  EXPECT_EQ(seen_before_set, nullptr);
  EXPECT_EQ(seen_after_set, &theirs);
  EXPECT_EQ(GetTlsValue(slot), &mine);
  EXPECT_TRUE(FreeTlsSlot(slot));
}

TEST(ThreadLocalSlotTest, GetClearsTheLastErrorSoNullCanBeTold) {
  TlsSlot slot = AllocateTlsSlot();
  ASSERT_NE(slot, kTlsOutOfIndexes);
  SetLastError(kErrorInvalidParameter);
  EXPECT_EQ(GetTlsValue(slot), nullptr);
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  EXPECT_TRUE(FreeTlsSlot(slot));
}

TEST(ThreadLocalSlotTest, ANewSlotReadsNullEvenWhereAFreedOneWasSet) {
  TlsSlot slot = AllocateTlsSlot();
  ASSERT_NE(slot, kTlsOutOfIndexes);
  int value = 0;
  ASSERT_TRUE(SetTlsValue(slot, &value));
  ASSERT_TRUE(FreeTlsSlot(slot));
  TlsSlot again = AllocateTlsSlot();  // often the same number
  ASSERT_NE(again, kTlsOutOfIndexes);
  EXPECT_EQ(GetTlsValue(again), nullptr);
  EXPECT_TRUE(FreeTlsSlot(again));
}

TEST(ThreadLocalSlotTest, FreeingASlotTwiceFails) {
  TlsSlot slot = AllocateTlsSlot();
  ASSERT_NE(slot, kTlsOutOfIndexes);
  ASSERT_TRUE(FreeTlsSlot(slot));
  EXPECT_FALSE(FreeTlsSlot(slot));
  EXPECT_NE(GetLastError(), kErrorSuccess);
  EXPECT_FALSE(FreeTlsSlot(kTlsOutOfIndexes));
  EXPECT_FALSE(SetTlsValue(kTlsOutOfIndexes, nullptr));
}

TEST(ThreadLocalSlotTest, RunningOutReturnsOutOfIndexes) {
  // Far above any system's limit; reaching it means slots never run out.
  constexpr size_t kMoreThanAnySystemHas = 1 << 16;
  std::vector<TlsSlot> slots;
  TlsSlot slot = 0;
  while (slots.size() < kMoreThanAnySystemHas && (slot = AllocateTlsSlot()) != kTlsOutOfIndexes) {
    slots.push_back(slot);
  }
  EXPECT_EQ(slot, kTlsOutOfIndexes);
  EXPECT_NE(GetLastError(), kErrorSuccess);
  for (TlsSlot s : slots) EXPECT_TRUE(FreeTlsSlot(s));
  slot = AllocateTlsSlot();
  EXPECT_NE(slot, kTlsOutOfIndexes);
  FreeTlsSlot(slot);
}

}  // namespace
}  // namespace ipcbase::platform
