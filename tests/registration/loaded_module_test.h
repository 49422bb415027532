// The base of the test suites that reach the module as a host does: each
// suite loads it once from LoadedModuleTest::path (set by main), and every test
// starts and must end with no object of the module alive.
#ifndef KELO_TESTS_REGISTRATION_LOADED_MODULE_TEST_H
#define KELO_TESTS_REGISTRATION_LOADED_MODULE_TEST_H

#include <gtest/gtest.h>

#include <string>

#include "module_exports.h"

class LoadedModuleTest : public ::testing::Test {
public:
    static inline std::wstring path;

protected:
    static void SetUpTestSuite() { LoadModule(path, &module_, &get_class_object_, &can_unload_now_); }
    static void TearDownTestSuite() { UnloadModule(&module_); }
    void SetUp() override {
        ASSERT_NE(module_, nullptr) << "LoadLibrary failed with error " << GetLastError();
        ASSERT_NE(get_class_object_, nullptr);
        ASSERT_NE(can_unload_now_, nullptr);
        ASSERT_EQ(can_unload_now_(), S_OK) << "an earlier test left an object or a lock behind";
    }
    void TearDown() override {
        if (can_unload_now_) {
            EXPECT_EQ(can_unload_now_(), S_OK) << "this test left an object or a lock behind";
        }
    }

    static inline HMODULE module_ = nullptr;
    static inline GetClassObjectFn get_class_object_ = nullptr;
    static inline CanUnloadNowFn can_unload_now_ = nullptr;
};

#endif
