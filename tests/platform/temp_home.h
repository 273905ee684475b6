// A fresh TESSARO_HOME per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry_store.h"

class TempHomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tshome-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home_ = pattern;
        setenv("TESSARO_HOME", home_.c_str(), 1);
    }
    void TearDown() override {
        tessaro::platform::RegCloseThreadConnections();
        std::error_code ignored;
        std::filesystem::remove_all(home_, ignored);
    }
    const std::string& home() const { return home_; }

private:
    std::string home_;
};
