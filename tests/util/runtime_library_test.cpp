// Outside libraries stay loaded for the rest of the process: a thread may
// still run inside one while the program's static objects are destroyed.
#include "ext/runtime_library.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(RuntimeLibraryTest, ALibraryOutlivesTheObjectThatLoadedIt) {
  ASSERT_EQ(::GetModuleHandleA("common.dll"), nullptr) << "loaded before the test";
  {
    RuntimeLibrary library("common.dll");
    ASSERT_NE(library.Find("_fun_msg"), nullptr);
    EXPECT_EQ(library.Find("no_such_function"), nullptr);
  }
  EXPECT_NE(::GetModuleHandleA("common.dll"), nullptr);
}

TEST(RuntimeLibraryTest, AMissingLibraryGivesNullFunctions) {
  RuntimeLibrary library("no_such_library.dll");
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_EQ(library.Find("anything"), nullptr);
}

}  // namespace
