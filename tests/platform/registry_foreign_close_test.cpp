// The registry store must keep its locks when something else in the process
// opens and closes its files (a template that reads registry.db by name). Before,
// the next process to close its connection thought it was the last one and
// deleted the WAL files the engine kept writing into: later writes were lost.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry_store.h"
#include "tests/common/temp_home.h"

namespace {

using namespace tessaro::platform;

const char* const kKey = "SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\Clients";
const std::string kFullKey = std::string("'HKEY_LOCAL_MACHINE\\") + kKey + "'";

std::string Tsreg(const std::string& arguments) {
    std::string command = "'" + std::string(TESSARO_BINARY_DIR) + "/bin/tsreg' " + arguments + " 2>&1";
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "popen failed";
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

void OpenAndClose(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << path;
    char byte;
    static_cast<void>(::read(fd, &byte, 1));
    ::close(fd);
}

bool AnyDeletedStoreFileOpen() {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        if (!ec && target.find("registry.db") != std::string::npos && target.find("(deleted)") != std::string::npos)
            return true;
    }
    return false;
}

class RegistryForeignCloseTest : public TempHomeTest {};

TEST_F(RegistryForeignCloseTest, WritesAfterAForeignCloseReachOtherProcesses) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKey(HKEY_LOCAL_MACHINE, kKey, &key), 0);
    ASSERT_EQ(RegSetString(key, "Before", "1"), 0);

    // What a template reading the store by name does inside the engine.
    for (const char* suffix : {"", "-shm", "-wal"}) OpenAndClose(RegLocalStorePath() + suffix);

    // Another process writes and closes its connection.
    EXPECT_EQ(Tsreg("set " + kFullKey + " Other 2"), "");
    EXPECT_TRUE(std::filesystem::exists(RegLocalStorePath() + "-wal"))
        << "the other process deleted the WAL file this process still uses";

    ASSERT_EQ(RegSetString(key, "After", "3"), 0);
    EXPECT_FALSE(AnyDeletedStoreFileOpen());
    EXPECT_EQ(Tsreg("get " + kFullKey + " After"), "3\n");
    EXPECT_EQ(Tsreg("get " + kFullKey + " Before"), "1\n");
    std::string other;
    EXPECT_EQ(RegQueryValue(key, "Other", nullptr, &other), 0);
    EXPECT_EQ(other, "2");
    RegCloseKey(key);
}

TEST_F(RegistryForeignCloseTest, ConnectionsOfManyThreadsShareTheLocksOfOneFile) {
    // Several connections of this process lock the same file at once; they must
    // not conflict with one another, only with other processes.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKey(HKEY_LOCAL_MACHINE, kKey, &key), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            HKEY own = nullptr;
            ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_ALL_ACCESS, &own), 0);
            for (int i = 0; i < 50; ++i) EXPECT_EQ(RegSetString(own, "T" + std::to_string(t), std::to_string(i)), 0);
            RegCloseKey(own);
        });
    }
    for (auto& thread : threads) thread.join();
    OpenAndClose(RegLocalStorePath());
    EXPECT_EQ(Tsreg("get " + kFullKey + " T7"), "49\n");
    RegCloseKey(key);
}

}  // namespace
