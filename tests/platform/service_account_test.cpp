// The service accounts: finding them, making the system's own one, giving a runtime root to it,
// installing the programs into the root, and a service started by anyone running as the
// account it was installed for. The tests that change owners or become another account need
// root (as CI runs them); they check what they did through the file system and /proc, which
// share no code with the layer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "platform/program_install.h"
#include "platform/runtime_root_owner.h"
#include "platform/service_account.h"
#include "platform/service_control.h"
#include "platform/service_manager.h"
#include "platform/win32_error.h"
#include "tests/common/ci_require.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;
namespace fs = std::filesystem;

namespace {

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// Runs body in a child process (which may give up root) and returns its exit status.
int InChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) _exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Polls until the file holds something.
std::string WaitForText(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        std::string text = tessaro::test::ReadFileText(path);
        if (!text.empty()) return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

class ServiceAccountAsRoot : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        REQUIRE_OR_SKIP(::geteuid() == 0, "owners are changed and accounts taken on by root only");
        std::string why;
        ASSERT_TRUE(EnsureSystemAccount(kDefaultServiceAccount, TESSARO_DEFAULT_HOME, nullptr, &why)) << why;
        ASSERT_TRUE(LookUpAccount(kDefaultServiceAccount, account_));
        ASSERT_TRUE(LookUpGroup(kDefaultWebGroup, web_));
    }

    AccountIdentity account_;
    gid_t web_ = 0;
};

}  // namespace

TEST(ServiceAccounts, AreFoundInTheSystemsFiles) {
    AccountIdentity root;
    ASSERT_TRUE(LookUpAccountById(0, root));
    EXPECT_EQ(root.name, "root");
    EXPECT_EQ(root.gid, 0u);
    EXPECT_EQ(AccountName(0), "root");
    long error = 0;
    AccountIdentity none;
    EXPECT_FALSE(LookUpAccount("no-such-account-here", none, &error));
    EXPECT_EQ(error, ERROR_NONE_MAPPED);
    EXPECT_FALSE(LookUpAccount("", none));
    gid_t group = 0;
    EXPECT_FALSE(LookUpGroup("no-such-group-here", group, &error));
    EXPECT_EQ(error, ERROR_NONE_MAPPED);
    EXPECT_EQ(AccountName(4000000000u), "uid 4000000000");
}

// Made once whoever asks first; every caller, at once or later, finds it.
TEST_F(ServiceAccountAsRoot, TheSystemAccountIsMadeOnceWithoutALoginShell) {
    std::vector<std::thread> callers;
    std::vector<int> ok(4, 0);
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([&ok, i] {
            bool created = true;
            ok[i] = EnsureSystemAccount(kDefaultServiceAccount, TESSARO_DEFAULT_HOME, &created, nullptr) && !created;
        });
    for (std::thread& caller : callers) caller.join();
    for (int done : ok) EXPECT_EQ(done, 1);
    EXPECT_NE(account_.uid, 0u);
    std::ifstream passwd("/etc/passwd");
    bool found = false;
    for (std::string line; std::getline(passwd, line);) {
        if (line.rfind(std::string(kDefaultServiceAccount) + ":", 0) != 0) continue;
        found = true;
        const std::string shell = line.substr(line.rfind(':') + 1);
        EXPECT_TRUE(shell == "/usr/sbin/nologin" || shell == "/sbin/nologin" || shell == "/bin/false") << line;
    }
    EXPECT_TRUE(found);
}

TEST_F(ServiceAccountAsRoot, BecomingAnAccountIsForGoodAndNeverRoot) {
    AccountIdentity root;
    ASSERT_TRUE(LookUpAccountById(0, root));
    EXPECT_EQ(InChild([&] { return BecomeAccount(root) == ERROR_SERVICE_LOGON_FAILED ? 0 : 1; }), 0);
    EXPECT_EQ(InChild([&] {
                  if (BecomeAccount(account_) != 0) return 1;
                  uid_t r, e, s;
                  ::getresuid(&r, &e, &s);
                  gid_t gr, ge, gs;
                  ::getresgid(&gr, &ge, &gs);
                  // Root cannot be taken back, and none of root's groups stays.
                  if (::setuid(0) == 0 || ::seteuid(0) == 0) return 2;
                  gid_t groups[64];
                  int n = ::getgroups(64, groups);
                  for (int i = 0; i < n; ++i)
                      if (groups[i] == 0) return 3;
                  return r == account_.uid && e == account_.uid && s == account_.uid && gr == account_.gid &&
                                 ge == account_.gid && gs == account_.gid && !ProcessHasRootIdentity()
                             ? 0
                             : 4;
              }),
              0);
}

// The table of runtime_root_owner.h, read back from the file system; links and other accounts'
// hard-linked files are never followed or taken.
TEST_F(ServiceAccountAsRoot, GivingARootFollowsTheTableAndNoLink) {
    const std::string root = home();
    for (const char* folder : {"log", "scm/svc", "run/PIPE/Tessaro", "web/docs", "bin"}) fs::create_directories(root + "/" + folder);
    for (const char* file : {"registry.db", "registry.db-wal", "log/SERVER.LOG", "scm/svc/config", "scm/svc/status",
                             "scm/svc/start.lock", "web/docs/a.tsm", "bin/tool"})
        tessaro::test::WriteFileText(root + "/" + file, "x");
    ::chmod((root + "/web/docs/a.tsm").c_str(), 0644);
    fs::create_symlink("/etc/passwd", root + "/web/docs/passwd");
    tessaro::test::TempFolder elsewhere;
    const std::string foreign = elsewhere.write("foreign", "y");
    ASSERT_EQ(::link(foreign.c_str(), (root + "/web/docs/foreign").c_str()), 0);
    const struct stat passwdBefore = StatOf("/etc/passwd");

    std::string why;
    ASSERT_TRUE(GiveRuntimeRoot(root, account_, web_, &why)) << why;

    struct Expected {
        const char* path;
        gid_t group;
        mode_t mode;  // 0: not looked at
    } const table[] = {
        {"", web_, 0710},
        {"run", web_, 0710},
        {"run/PIPE", web_, 0710},
        {"run/PIPE/Tessaro", web_, 02710},
        {"scm", web_, 02750},
        {"scm/svc", web_, 02750},
        {"scm/svc/config", web_, 0640},
        {"scm/svc/status", web_, 0640},
        {"scm/svc/start.lock", account_.gid, 0600},
        {"registry.db", account_.gid, 0600},
        {"registry.db-wal", account_.gid, 0600},
        {"log", account_.gid, 0700},
        {"tmp", account_.gid, 0700},
        {"windows", account_.gid, 0700},
        {"run/EVENT", account_.gid, 0700},
        {"web/docs/a.tsm", account_.gid, 0644},
    };
    for (const Expected& e : table) {
        SCOPED_TRACE(e.path);
        const struct stat st = StatOf(root + (*e.path ? "/" : "") + e.path);
        EXPECT_EQ(st.st_uid, account_.uid);
        EXPECT_EQ(st.st_gid, e.group);
        if (e.mode) {
            EXPECT_EQ(st.st_mode & 07777, e.mode);
        }
    }
    // The programs folder stays root's; the link was changed, not what it leads to; another
    // account's file is not taken through its second name.
    EXPECT_EQ(StatOf(root + "/bin").st_uid, 0u);
    EXPECT_EQ(StatOf(root + "/bin/tool").st_uid, 0u);
    EXPECT_EQ(StatOf(root + "/web/docs/passwd").st_uid, account_.uid);
    const struct stat passwdAfter = StatOf("/etc/passwd");
    EXPECT_EQ(passwdAfter.st_uid, passwdBefore.st_uid);
    EXPECT_EQ(passwdAfter.st_mode, passwdBefore.st_mode);
    EXPECT_EQ(StatOf(foreign).st_uid, 0u);
    // A root that belongs to root is never given up for; one that belongs to the account is.
    EXPECT_EQ(InChild([&] { return GiveUpRootForRuntimeRoot().outcome == RootGiveUp::Dropped &&
                                           !ProcessHasRootIdentity() && ::geteuid() == account_.uid
                                       ? 0
                                       : 1; }),
              0);
    tessaro::test::TempHome rootsOwn;
    EXPECT_EQ(InChild([] { return GiveUpRootForRuntimeRoot().outcome == RootGiveUp::RootsRoot ? 0 : 1; }), 0);
    AccountIdentity root0;
    ASSERT_TRUE(LookUpAccountById(0, root0));
    EXPECT_FALSE(GiveRuntimeRoot(rootsOwn.path(), root0, 0, &why));
}

// Programs the build left root's and unwritable by others are linked, anything else copied
// root's; the starter is always a copy, set-user-id root, for root and the web group only; a
// second installation changes nothing.
TEST_F(ServiceAccountAsRoot, ProgramsAreInstalledRootsAndTheStarterSetUserId) {
    tessaro::test::TempFolder build;
    const std::string bin = build.path() + "/bin", lib = build.path() + "/lib";
    fs::create_directories(bin);
    fs::create_directories(lib);
    for (const char* name : {"tsengine", "ksml", "tsstart", "libgen.so"}) tessaro::test::WriteFileText(bin + "/" + name, name);
    tessaro::test::WriteFileText(lib + "/libmail.so", "mail");
    tessaro::test::WriteFileText(bin + "/notes.txt", "not installed");
    ::chmod((bin + "/tsengine").c_str(), 0755);
    ::chmod((bin + "/ksml").c_str(), 0775);  // others could change it: copied
    ProgramInstallResult result;
    std::string why;
    ASSERT_TRUE(InstallRuntimePrograms(bin, home(), true, web_, result, &why)) << why;
    EXPECT_EQ(result.installed, 5);
    const std::string to = home() + "/bin/";
    EXPECT_EQ(StatOf(to + "tsengine").st_ino, StatOf(bin + "/tsengine").st_ino);
    EXPECT_NE(StatOf(to + "ksml").st_ino, StatOf(bin + "/ksml").st_ino);
    EXPECT_EQ(StatOf(to + "ksml").st_mode & 07777, 0755u);
    EXPECT_EQ(tessaro::test::ReadFileText(to + "ksml"), "ksml");
    EXPECT_EQ(tessaro::test::ReadFileText(home() + "/lib/libmail.so"), "mail");
    EXPECT_TRUE(fs::exists(to + "libgen.so"));
    EXPECT_FALSE(fs::exists(to + "notes.txt"));
    const struct stat starter = StatOf(to + "tsstart");
    EXPECT_NE(starter.st_ino, StatOf(bin + "/tsstart").st_ino);
    EXPECT_EQ(starter.st_uid, 0u);
    EXPECT_EQ(starter.st_gid, web_);
    EXPECT_EQ(starter.st_mode & 07777, 04750u);
    for (const char* folder : {"/bin", "/lib"}) {
        EXPECT_EQ(StatOf(home() + folder).st_uid, 0u);
        EXPECT_EQ(StatOf(home() + folder).st_mode & 07777, 0755u);
    }
    ProgramInstallResult again;
    ASSERT_TRUE(InstallRuntimePrograms(bin, home(), true, web_, again, &why)) << why;
    EXPECT_EQ(again.installed, 1);  // the starter alone is copied each time
    EXPECT_EQ(again.unchanged, 4);
}

// A service runs as the account it was installed for, whoever starts it: root, the account
// itself, or another account through the runtime root's starter.
TEST_F(ServiceAccountAsRoot, AServiceRunsAsItsAccountWhoeverStartsIt) {
    std::string why;
    ProgramInstallResult programs;
    ASSERT_TRUE(InstallRuntimePrograms(std::string(TESSARO_BINARY_DIR) + "/bin", home(), true, web_, programs, &why))
        << why;
    ASSERT_TRUE(GiveRuntimeRoot(home(), account_, web_, &why)) << why;
    const std::string out = home() + "/tmp/who";
    SC_HANDLE manager = OpenSCManager(SC_MANAGER_CREATE_SERVICE);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE service = CreateService(manager, "Who", "Who", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "/bin/sh",
                                      {"-c", "id -u > " + out + ".new && mv " + out + ".new " + out},
                                      account_.name);
    ASSERT_NE(service, nullptr) << ScmGetLastError();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    InstalledService installed;
    ASSERT_TRUE(GetInstalledService("Who", installed));
    EXPECT_EQ(installed.account, account_.name);
    EXPECT_EQ(StatOf(ScmServiceDirectory("Who") + "/config").st_uid, account_.uid);

    auto startAndAsk = [&](const std::function<long()>& start) {
        fs::remove(out);
        EXPECT_EQ(start(), 0);
        return WaitForText(out);
    };
    const std::string uid = std::to_string(account_.uid) + "\n";
    auto start = [] {
        CServiceDescription d("Who");
        CServiceControl c(d);
        return c.StartService() ? 0L : c.GetLastErrorNumber();
    };
    EXPECT_EQ(startAndAsk(start), uid) << "started by root";
    EXPECT_EQ(startAndAsk([&] { return static_cast<long>(InChild([&] { return BecomeAccount(account_) ? 99 : int(start()); })); }),
              uid)
        << "started by its account";
    AccountIdentity web;
    ASSERT_TRUE(LookUpAccount("www-data", web));
    EXPECT_EQ(startAndAsk([&] { return static_cast<long>(InChild([&] { return BecomeAccount(web) ? 99 : int(start() % 256); })); }),
              uid)
        << "started through the starter by the web server's account";
}

// The starter runs nothing as anyone but the owner of the root it lies in, and nothing for a
// root that belongs to root.
TEST_F(ServiceAccountAsRoot, TheStarterRefusesARootThatBelongsToRoot) {
    std::string why;
    ProgramInstallResult programs;
    ASSERT_TRUE(InstallRuntimePrograms(std::string(TESSARO_BINARY_DIR) + "/bin", home(), true, web_, programs, &why))
        << why;
    ::chmod(home().c_str(), 0755);
    AccountIdentity web;
    ASSERT_TRUE(LookUpAccount("www-data", web));
    const std::string out = home() + "/starter.out";
    const int status = InChild([&] {
        int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return 98;
        ::dup2(fd, 2);
        if (BecomeAccount(web) != 0) return 99;
        const std::string starter = home() + "/bin/tsstart";
        ::execl(starter.c_str(), starter.c_str(), "Anything", static_cast<char*>(nullptr));
        return 97;
    });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(tessaro::test::ReadFileText(out).rfind("tsstart: error 1069 (", 0), 0u) << tessaro::test::ReadFileText(out);
}
