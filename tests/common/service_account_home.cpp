#include "tests/common/service_account_home.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/runtime_root_owner.h"
#include "platform/service_account.h"

namespace tessaro::test {

namespace plat = tessaro::platform;

namespace {

// The service account, made when missing; false (with a test failure) when it cannot be.
bool ServiceAccount(plat::AccountIdentity& account) {
    std::string why;
    if (!plat::EnsureSystemAccount(plat::kDefaultServiceAccount, TESSARO_DEFAULT_HOME, nullptr, &why)) {
        ADD_FAILURE() << why;
        return false;
    }
    if (plat::LookUpAccount(plat::kDefaultServiceAccount, account)) return true;
    ADD_FAILURE() << "no account " << plat::kDefaultServiceAccount;
    return false;
}

}  // namespace

void GiveFolderToServiceAccount(const std::string& folder) {
    plat::AccountIdentity account;
    if (::geteuid() != 0 || !ServiceAccount(account)) return;
    std::error_code ec;
    ::lchown(folder.c_str(), account.uid, account.gid);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec))
        ::lchown(entry.path().c_str(), account.uid, account.gid);
}

void GiveHomeToServiceAccount(const std::string& home) {
    plat::AccountIdentity account;
    if (::geteuid() != 0 || !ServiceAccount(account)) return;
    std::string why;
    gid_t web = account.gid;
    plat::LookUpGroup(plat::kDefaultWebGroup, web);
    EXPECT_TRUE(plat::GiveRuntimeRoot(home, account, web, &why)) << why;
}

std::string ProcessAccount(long pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Uid:", 0) != 0) continue;
        // Real, effective, saved and file-system ids: the account is what all of them say.
        unsigned long real = 0, effective = 0, saved = 0;
        if (std::sscanf(line.c_str(), "Uid: %lu %lu %lu", &real, &effective, &saved) != 3) return "?";
        if (real != effective || real != saved) return "mixed";
        return plat::AccountName(static_cast<uid_t>(real));
    }
    return {};
}

}  // namespace tessaro::test
