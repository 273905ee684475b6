// A fresh runtime root with its log folder, and readers of the registry and logs.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "support/registry.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

class ExecutiveHomeTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        unsetenv("TESSARO_EVENTLOG");
        std::filesystem::create_directories(home() + "/log");
        root = OpenTessaroRootKey();
        settings = std::make_unique<CRegistrySettings>(root.get());
        settings->Set("Logging", "LogFilePath", home() + "/log");
    }
    void TearDown() override {
        settings.reset();
        root.reset();
    }

    std::string Log(const std::string& name) const {
        return tessaro::test::ReadFileText(home() + "/log/" + name + ".LOG");
    }

    std::unique_ptr<CRegistryKey> root;
    std::unique_ptr<CRegistrySettings> settings;
};
