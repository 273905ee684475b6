// A fresh TESSARO_HOME per test with the logs in <home>/log, and small helpers
// to set registry values and read log files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/registry.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

class ServerTestHome : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        if (HasFatalFailure()) return;
        setenv("TMPDIR", (home() + "/tmp").c_str(), 1);
        std::filesystem::create_directories(home() + "/log");
        std::filesystem::create_directories(home() + "/tmp");
        SetValue("Logging", "LogFilePath", home() + "/log");
    }

    // root\section\name = text, below the system's registry root.
    static void SetValue(const std::string& section, const std::string& name, const std::string& text) {
        auto root = OpenTessaroRootKey();
        CRegistrySettings settings(root.get());
        settings.Set(section, name, text);
    }
    static std::string GetValue(const std::string& section, const std::string& name) {
        auto root = OpenTessaroRootKey();
        CRegistrySettings settings(root.get());
        return settings.GetString(section, name, "<missing>");
    }

    std::string ReadLog(const std::string& name = "SERVER") const {
        return tessaro::test::ReadFileText(home() + "/log/" + name + ".LOG");
    }
};
