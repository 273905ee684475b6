// A fresh, empty TESSARO_HOME per test (no registry values set), with TMPDIR in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/common/temp_home.h"

class RegistryHomeTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        setenv("TMPDIR", home().c_str(), 1);
        unsetenv("TESSARO_EVENTLOG");
    }

    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }
};
