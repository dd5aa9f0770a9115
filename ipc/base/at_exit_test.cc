#include "ipc/base/at_exit.h"

#include <gtest/gtest.h>

#include <string>

namespace ipcbase {
namespace {

std::string g_order;

void Append(void* param) { g_order += *static_cast<const char*>(param); }

const char kA = 'a', kB = 'b', kC = 'c', kD = 'd';

void AppendAndRegisterD(void* param) {
  Append(param);
  AtExitManager::RegisterCallback(&Append, const_cast<char*>(&kD));
}

TEST(AtExitManagerTest, CallbacksRunInReverseOrderAtDestruction) {
  g_order.clear();
  {
    AtExitManager manager;
    AtExitManager::RegisterCallback(&Append, const_cast<char*>(&kA));
    AtExitManager::RegisterCallback(&Append, const_cast<char*>(&kB));
    AtExitManager::RegisterCallback(&Append, const_cast<char*>(&kC));
    EXPECT_EQ(g_order, "");
  }
  EXPECT_EQ(g_order, "cba");
}

TEST(AtExitManagerTest, CallbackRegisteredByACallbackRunsInTheSamePass) {
  g_order.clear();
  AtExitManager manager;
  AtExitManager::RegisterCallback(&Append, const_cast<char*>(&kA));
  AtExitManager::RegisterCallback(&AppendAndRegisterD, const_cast<char*>(&kB));
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ(g_order, "bda");
  AtExitManager::ProcessCallbacksNow();  // the stack is empty now
  EXPECT_EQ(g_order, "bda");
}

TEST(AtExitManagerTest, WithoutAManagerRegisteringIsIgnored) {
  g_order.clear();
  AtExitManager::RegisterCallback(&Append, const_cast<char*>(&kA));
  AtExitManager::ProcessCallbacksNow();
  {
    AtExitManager manager;
    AtExitManager::RegisterCallback(nullptr, nullptr);  // a null callback is refused
  }
  EXPECT_EQ(g_order, "");
}

}  // namespace
}  // namespace ipcbase
