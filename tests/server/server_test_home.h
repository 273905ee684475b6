// A fresh TESSARO_HOME per test with the logs in <home>/log, and small helpers
// to set registry values and read log files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/server/registry.h"
#include "platform/registry_store.h"

class ServerTestHome : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tsserver-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home_ = pattern;
        setenv("TESSARO_HOME", home_.c_str(), 1);
        setenv("TMPDIR", (home_ + "/tmp").c_str(), 1);
        std::filesystem::create_directories(home_ + "/log");
        std::filesystem::create_directories(home_ + "/tmp");
        SetValue("Logging", "LogFilePath", home_ + "/log");
    }
    void TearDown() override {
        tessaro::platform::RegCloseThreadConnections();
        std::error_code ignored;
        std::filesystem::remove_all(home_, ignored);
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
        std::ifstream in(home_ + "/log/" + name + ".LOG");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    const std::string& home() const { return home_; }

private:
    std::string home_;
};
