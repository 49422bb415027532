// The base of the test suites that reach the module as a host does: each
// suite loads it once from LoadedModuleTest::path (set by main), and every test
// starts and must end with no object of the module alive.
#ifndef KELO_TESTS_REGISTRATION_LOADED_MODULE_TEST_H
#define KELO_TESTS_REGISTRATION_LOADED_MODULE_TEST_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "filter_module.h"
#include "text.h"

class LoadedModuleTest : public ::testing::Test {
public:
    static inline std::wstring path;

protected:
    static void SetUpTestSuite() {
        module_ = std::make_unique<FilterModule>();
        module_->Load(path, &error_);
    }
    static void TearDownTestSuite() { module_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(module_->Loaded()) << error_;
        ASSERT_EQ(module_->CanUnloadNow(), S_OK) << "an earlier test left an object or a lock behind";
    }
    void TearDown() override {
        if (module_->Loaded()) {
            EXPECT_EQ(module_->CanUnloadNow(), S_OK) << "this test left an object or a lock behind";
        }
    }

    static inline std::unique_ptr<FilterModule> module_;
    static inline std::string error_;
};

#endif
