#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/home.h"
#include "platform/registry_store.h"
#include "platform/win32_error.h"
#include "tests/common/file_permissions.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class RegistryStoreTest : public TempHomeTest {
protected:
    HKEY Create(const std::string& path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKey(HKEY_LOCAL_MACHINE, path, &key), ERROR_SUCCESS) << path;
        handles_.push_back(key);
        return key;
    }
    void TearDown() override {
        for (HKEY key : handles_) RegCloseKey(key);
        TempHomeTest::TearDown();
    }
    std::vector<std::string> SubKeys(HKEY key) {
        std::vector<std::string> names;
        std::string name;
        for (std::uint32_t i = 0; RegEnumKey(key, i, &name) == ERROR_SUCCESS; ++i) names.push_back(name);
        return names;
    }
    std::vector<HKEY> handles_;
};

// A counter incremented with read-modify-write transactions.
long Increment(HKEY key) {
    return RegRunTransaction(key, [&] {
        std::string data;
        long err = RegQueryValue(key, "Count", nullptr, &data);
        if (err != ERROR_SUCCESS && err != ERROR_FILE_NOT_FOUND) return err;
        long value = data.empty() ? 0 : std::stol(data);
        return RegSetString(key, "Count", std::to_string(value + 1));
    });
}

TEST_F(RegistryStoreTest, NamesAreCaseInsensitiveAndKeepTheirCase) {
    HKEY key = Create("SOFTWARE\\Brendlow\\Server");
    ASSERT_EQ(RegSetString(key, "MaxRequests", "7"), ERROR_SUCCESS);
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "software\\BRENDLOW\\server", KEY_READ, &again), ERROR_SUCCESS);
    std::string data;
    std::uint32_t type = 0;
    EXPECT_EQ(RegQueryValue(again, "MAXREQUESTS", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "7");
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(RegKeyPath(again), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brendlow\\Server");
    // Rewriting with another case keeps the first name.
    ASSERT_EQ(RegSetString(key, "maxrequests", "8"), ERROR_SUCCESS);
    std::string name;
    ASSERT_EQ(RegEnumValue(key, 0, &name, &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(name, "MaxRequests");
    EXPECT_EQ(data, "8");
    RegCloseKey(again);
}

TEST_F(RegistryStoreTest, SubkeysEnumerateInUpperCasedByteOrderAndValuesInCreationOrder) {
    HKEY key = Create("Order");
    for (const char* name : {"beta", "Alpha", "_under", "GAMMA", "a1"}) {
        HKEY sub = nullptr;
        ASSERT_EQ(RegCreateKey(key, name, &sub), ERROR_SUCCESS);
        RegCloseKey(sub);
    }
    // Upper-cased byte order: "A1" < "ALPHA" < "BETA" < "GAMMA" < "_UNDER".
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"a1", "Alpha", "beta", "GAMMA", "_under"}));
    for (const char* name : {"z", "m", "a"}) ASSERT_EQ(RegSetString(key, name, name), ERROR_SUCCESS);
    std::vector<std::string> values;
    std::string name;
    std::uint32_t type;
    for (std::uint32_t i = 0; RegEnumValue(key, i, &name, &type) == ERROR_SUCCESS; ++i) values.push_back(name);
    EXPECT_EQ(values, (std::vector<std::string>{"z", "m", "a"}));
    EXPECT_EQ(RegEnumValue(key, 3, &name, &type), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKey(key, 5, &name), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryStoreTest, EnumerationByIndexIsRightInAnyOrderOfCalls) {
    HKEY key = Create("Walk");
    const std::vector<std::string> names = {"1", "10", "11", "2", "3", "9"};    // their listing order
    const std::vector<std::string> created = {"9", "10", "1", "3", "11", "2"};  // and the values' order
    for (const std::string& name : created) {
        HKEY sub = nullptr;
        ASSERT_EQ(RegCreateKey(key, name, &sub), ERROR_SUCCESS);
        RegCloseKey(sub);
        ASSERT_EQ(RegSetString(key, "v" + name, name), ERROR_SUCCESS);
    }
    // Forward walks continue where the last call stopped; other orders must not
    // be misled by that.
    const std::vector<std::uint32_t> indexes = {0, 1, 2, 3, 3, 4, 2, 5, 0, 5, 1, 2};
    std::string name;
    std::uint32_t type = 0;
    for (std::uint32_t index : indexes) {
        ASSERT_EQ(RegEnumKey(key, index, &name), ERROR_SUCCESS) << index;
        EXPECT_EQ(name, names[index]) << index;
        ASSERT_EQ(RegEnumValue(key, index, &name, &type), ERROR_SUCCESS) << index;
        EXPECT_EQ(name, "v" + created[index]) << index;
    }
    EXPECT_EQ(RegEnumKey(key, 6, &name), ERROR_NO_MORE_ITEMS);
    // A name that did not fit is asked for again at the same index.
    ASSERT_EQ(RegEnumKey(key, 0, &name), ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKey(key, 1, &name, 2), ERROR_MORE_DATA);
    ASSERT_EQ(RegEnumKey(key, 1, &name), ERROR_SUCCESS);
    EXPECT_EQ(name, "10");
    // Keys added or removed between calls: a walk from 0 sees the present state.
    HKEY sub = nullptr;
    ASSERT_EQ(RegCreateKey(key, "0", &sub), ERROR_SUCCESS);
    RegCloseKey(sub);
    ASSERT_EQ(RegDeleteKey(key, "9"), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"0", "1", "10", "11", "2", "3"}));
    // Two handles of one key walk independently.
    HKEY other = nullptr;
    ASSERT_EQ(RegOpenKey(key, "", KEY_READ, &other), ERROR_SUCCESS);
    std::string a, b;
    ASSERT_EQ(RegEnumKey(key, 0, &a), ERROR_SUCCESS);
    ASSERT_EQ(RegEnumKey(other, 0, &b), ERROR_SUCCESS);
    ASSERT_EQ(RegEnumKey(other, 1, &b), ERROR_SUCCESS);
    ASSERT_EQ(RegEnumKey(key, 1, &a), ERROR_SUCCESS);
    EXPECT_EQ(a, "1");
    EXPECT_EQ(b, "1");
    RegCloseKey(other);
}

TEST_F(RegistryStoreTest, ErrorCodesFollowTheRegistry) {
    HKEY key = Create("Codes\\Child");
    HKEY parent = Create("Codes");
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "Codes", KEY_READ, &readOnly), ERROR_SUCCESS);
    HKEY missing = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "Codes\\Nope", KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(RegQueryValue(key, "absent", nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetString(readOnly, "x", "1"), ERROR_ACCESS_DENIED);
    HKEY created = nullptr;
    EXPECT_EQ(RegCreateKey(readOnly, "New", &created), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValue(readOnly, "x"), ERROR_ACCESS_DENIED);
    // A key with subkeys cannot be deleted; its child can.
    EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "Codes"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(parent, "Child"), ERROR_SUCCESS);
    // The handle of a deleted key.
    EXPECT_EQ(RegSetString(key, "x", "1"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValue(key, "x", nullptr, nullptr), ERROR_KEY_DELETED);
    std::string name;
    EXPECT_EQ(RegEnumKey(key, 0, &name), ERROR_KEY_DELETED);
    RegCloseKey(readOnly);
}

TEST_F(RegistryStoreTest, BufferLimitsGiveMoreData) {
    HKEY key = Create("Limits");
    std::string text(4095, 'x');
    ASSERT_EQ(RegSetString(key, "fits", text), ERROR_SUCCESS);
    ASSERT_EQ(RegSetString(key, "long", text + "y"), ERROR_SUCCESS);
    std::string data;
    std::size_t needed = 0;
    EXPECT_EQ(RegQueryValue(key, "fits", nullptr, &data, 4096), ERROR_SUCCESS);
    EXPECT_EQ(data.size(), 4095u);
    EXPECT_EQ(RegQueryValue(key, "long", nullptr, &data, 4096, &needed), ERROR_MORE_DATA);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(needed, 4097u);
    std::string name(1100, 'n');
    ASSERT_EQ(RegSetString(key, name, "v"), ERROR_SUCCESS);
    std::uint32_t type;
    EXPECT_EQ(RegEnumValue(key, 2, &data, &type, nullptr, 1024), ERROR_MORE_DATA);
    EXPECT_EQ(RegSetString(key, std::string(kRegMaxValueNameLength + 1, 'n'), "v"), ERROR_INVALID_PARAMETER);
    HKEY tooLong = nullptr;
    EXPECT_EQ(RegCreateKey(key, std::string(256, 'k'), &tooLong), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryStoreTest, DeleteTreeRemovesAKeyWithEverythingBelowIt) {
    Create("Tree\\A\\Deep\\Deeper");
    RegSetString(Create("Tree\\B"), "v", "1");
    HKEY keep = Create("TreeSibling");
    HKEY root = Create("Tree");
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "Tree"), ERROR_SUCCESS);
    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "Tree", KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetString(root, "x", "1"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetString(keep, "x", "1"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "Tree"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryStoreTest, DeleteTreeRefusesARootAndLeavesAllOnFailure) {
    Create("Whole\\Child");
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "Whole", KEY_READ, &readOnly), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTree(readOnly, "Child"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SubKeys(readOnly), std::vector<std::string>{"Child"});
    RegCloseKey(readOnly);
}

TEST_F(RegistryStoreTest, NonStringValuesKeepTheirType) {
    HKEY key = Create("Types");
    ASSERT_EQ(RegSetValue(key, "dw", REG_DWORD, std::string("\x07\0\0\0", 4)), ERROR_SUCCESS);
    std::uint32_t type = 0;
    std::string data;
    ASSERT_EQ(RegQueryValue(key, "dw", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(data.size(), 4u);
}

TEST_F(RegistryStoreTest, TransactionRollsBackOnFailureAndOnException) {
    HKEY key = Create("Tx");
    EXPECT_EQ(RegRunTransaction(key,
                                [&] {
                                    RegSetString(key, "a", "1");
                                    return ERROR_ACCESS_DENIED;
                                }),
              ERROR_ACCESS_DENIED);
    EXPECT_THROW(RegRunTransaction(key,
                                   [&]() -> long {
                                       RegSetString(key, "b", "1");
                                       throw std::runtime_error("x");
                                   }),
                 std::runtime_error);
    EXPECT_EQ(RegQueryValue(key, "a", nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValue(key, "b", nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegRunTransaction(key, [&] { return RegSetString(key, "c", "1"); }), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValue(key, "c", nullptr, nullptr), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, CountersStayExactAcrossThreadsAndProcesses) {
    HKEY key = Create("Counter");
    constexpr int kThreads = 4, kProcesses = 3, kRounds = 25;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RegCloseThreadConnections();  // never share the parent's connection
            HKEY own = nullptr;
            if (RegOpenKey(HKEY_LOCAL_MACHINE, "Counter", KEY_ALL_ACCESS, &own) != ERROR_SUCCESS) _exit(2);
            for (int i = 0; i < kRounds; ++i) {
                if (Increment(own) != ERROR_SUCCESS) _exit(1);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                if (Increment(key) != ERROR_SUCCESS) ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(failures.load(), 0);
    std::string data;
    ASSERT_EQ(RegQueryValue(key, "Count", nullptr, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, std::to_string((kThreads + kProcesses) * kRounds));
}

TEST_F(RegistryStoreTest, ConnectionsOfEndedThreadsServeNewThreads) {
    HKEY key = Create("Pool");
    for (int round = 0; round < 3; ++round) {
        std::thread writer([&] {
            // A thread that ends inside nothing but leaves its connection behind.
            EXPECT_EQ(RegSetString(key, "Round", std::to_string(round)), ERROR_SUCCESS);
            EXPECT_EQ(RegRunTransaction(key, [&] { return RegSetString(key, "Tx", std::to_string(round)); }),
                      ERROR_SUCCESS);
        });
        writer.join();
        std::string data;
        std::thread reader([&] { EXPECT_EQ(RegQueryValue(key, "Round", nullptr, &data), ERROR_SUCCESS); });
        reader.join();
        EXPECT_EQ(data, std::to_string(round));
    }
    // A new thread can still take the write lock: nothing was left in a transaction.
    std::thread last([&] { EXPECT_EQ(Increment(key), ERROR_SUCCESS); });
    last.join();
}

TEST_F(RegistryStoreTest, RemoteMachinesMapToTheirOwnStores) {
    HKEY local = nullptr;
    for (const char* name : {"", ".", "\\\\localhost", "LOCALHOST"}) {
        ASSERT_EQ(RegConnectRegistry(name, HKEY_LOCAL_MACHINE, &local), ERROR_SUCCESS) << name;
        RegCloseKey(local);
    }
    HKEY remote = nullptr;
    EXPECT_EQ(RegConnectRegistry("\\\\OTHER", HKEY_LOCAL_MACHINE, &remote), RPC_S_SERVER_UNAVAILABLE);
    EXPECT_EQ(RegConnectRegistry("..\\x", HKEY_LOCAL_MACHINE, &remote), RPC_S_SERVER_UNAVAILABLE);
    ASSERT_EQ(RegCreateMachineStore("OTHER"), ERROR_SUCCESS);
    ASSERT_EQ(RegConnectRegistry("\\\\other", HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKey(remote, "SOFTWARE\\X", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetString(key, "Where", "remote"), ERROR_SUCCESS);
    RegCloseKey(key);
    HKEY localKey = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", KEY_READ, &localKey), ERROR_FILE_NOT_FOUND);
    RegCloseKey(remote);
}

TEST_F(RegistryStoreTest, RootPathsSplitWithLongAndShortNames) {
    HKEY root = nullptr;
    std::string rest;
    ASSERT_TRUE(RegSplitRootPath("HKLM\\SOFTWARE\\X", &root, &rest));
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(rest, "SOFTWARE\\X");
    ASSERT_TRUE(RegSplitRootPath("hkey_current_user", &root, &rest));
    EXPECT_EQ(root, HKEY_CURRENT_USER);
    EXPECT_EQ(rest, "");
    EXPECT_FALSE(RegSplitRootPath("HKEY_NOWHERE\\X", &root, &rest));
}

TEST_F(RegistryStoreTest, EachRootIsItsOwnTree) {
    HKEY user = nullptr;
    ASSERT_EQ(RegCreateKey(HKEY_CURRENT_USER, "Only", &user), ERROR_SUCCESS);
    RegCloseKey(user);
    HKEY machine = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "Only", KEY_READ, &machine), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryStoreTest, ReadOnlyStoreFileDeniesWrites) {
    // Run as root, the test would otherwise write straight through the read-only mode.
    tessaro::test::FilePermissionsBindThisThread permissionsBind;
    ASSERT_TRUE(permissionsBind.Engaged()) << "cannot make file permissions bind this thread";
    HKEY key = Create("Locked");
    RegCloseThreadConnections();
    ASSERT_EQ(chmod(RegLocalStorePath().c_str(), 0440), 0);
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "Locked", KEY_ALL_ACCESS, &again), ERROR_SUCCESS);
    EXPECT_EQ(RegSetString(again, "x", "1"), ERROR_ACCESS_DENIED);
    RegCloseKey(again);
    (void)key;
}

}  // namespace
