#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>
#include <fstream>
#include <sys/stat.h>

#include "platform/service_control.h"
#include "platform/service_manager.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

// The lock a running service holds on its folder's lock file for its whole life.
bool HoldServiceLock(int fd) {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &whole) == 0;
}

class ServiceManagerTest : public TempHomeTest {
protected:
    bool Install(const std::string& name, const std::string& binary, long* error = nullptr) {
        CServiceDescription d(name, name, binary, SERVICE_DEMAND_START, SERVICE_WIN32_OWN_PROCESS, SERVICE_ALL_ACCESS,
                              SERVICE_ERROR_NORMAL);
        CServiceControl c(d);
        bool ok = c.InstallService();
        if (error) *error = c.GetLastErrorNumber();
        return ok;
    }
};

}  // namespace

TEST_F(ServiceManagerTest, FolderNameIsFoldedAndFileSafe) {
    EXPECT_EQ(ScmFoldServiceName("Brendlow Tessaro 2.0"), "brendlow_tessaro_2.0");
    EXPECT_EQ(ScmFoldServiceName("../x/y"), ".._x_y");
    EXPECT_EQ(ScmFoldServiceName(".."), "_..");
    EXPECT_EQ(ScmServiceDirectory("A b"), home() + "/scm/a_b");
}

TEST_F(ServiceManagerTest, InstallQueryDuplicateAndRemove) {
    long error = 0;
    ASSERT_TRUE(Install("My Service", "/bin/true"));
    EXPECT_FALSE(Install("my service", "/bin/true", &error));
    EXPECT_EQ(error, kErrorServiceExists);

    CServiceDescription d("My Service");
    CServiceControl c(d);
    SERVICE_STATUS st;
    ASSERT_TRUE(c.QueryStatus(st));
    EXPECT_EQ(st.dwCurrentState, SERVICE_STOPPED);
    std::string dir = ScmServiceDirectory("My Service");
    struct stat fifo {};
    ASSERT_EQ(::stat((dir + "/control").c_str(), &fifo), 0);
    EXPECT_TRUE(S_ISFIFO(fifo.st_mode));

    auto list = EnumInstalledServices();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "My Service");
    EXPECT_EQ(list[0].binaryPath, "/bin/true");

    // A stopped service: stop is a no-op, control reports "not active".
    EXPECT_TRUE(c.StopService());
    SC_HANDLE m = OpenSCManager(GENERIC_EXECUTE_ACCESS);
    SC_HANDLE s = OpenService(m, "My Service", GENERIC_EXECUTE_ACCESS);
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(ControlService(s, SERVICE_CONTROL_STOP, &st));
    EXPECT_EQ(ScmGetLastError(), kErrorServiceNotActive);
    CloseServiceHandle(s);
    CloseServiceHandle(m);

    EXPECT_TRUE(c.RemoveService());
    EXPECT_FALSE(std::filesystem::exists(dir));
    EXPECT_FALSE(c.RemoveService());
    EXPECT_EQ(c.GetLastErrorNumber(), kErrorServiceDoesNotExist);
}

TEST_F(ServiceManagerTest, StartOfAMissingProgramFailsWithFileNotFound) {
    ASSERT_TRUE(Install("Ghost", home() + "/no/such/program"));
    CServiceDescription d("Ghost");
    CServiceControl c(d);
    EXPECT_FALSE(c.StartService());
    EXPECT_EQ(c.GetLastErrorNumber(), kErrorFileNotFound);
    SERVICE_STATUS st;
    ASSERT_TRUE(c.QueryStatus(st));
    EXPECT_EQ(st.dwCurrentState, SERVICE_STOPPED);
}

TEST_F(ServiceManagerTest, StatusWithoutTheLockHolderReadsStopped) {
    ASSERT_TRUE(Install("Crashed", "/bin/true"));
    std::string dir = ScmServiceDirectory("Crashed");
    std::ofstream(dir + "/status") << "ServiceType=16\nCurrentState=4\nControlsAccepted=5\nPid=999999\n";
    CServiceDescription d("Crashed");
    CServiceControl c(d);
    SERVICE_STATUS st;
    ASSERT_TRUE(c.QueryStatus(st));
    EXPECT_EQ(st.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(st.dwControlsAccepted, 0u);
}

TEST_F(ServiceManagerTest, DispatcherRefusesAProcessTheManagerDidNotStart) {
    unsetenv(kScmServiceEnv);
    EXPECT_FALSE(StartServiceCtrlDispatcher({{"X", [](std::uint32_t, char**) {}}}));
    EXPECT_EQ(ScmGetLastError(), kErrorFailedServiceControllerConnect);
    setenv(kScmServiceEnv, "Other", 1);
    EXPECT_FALSE(StartServiceCtrlDispatcher({{"X", [](std::uint32_t, char**) {}}}));
    EXPECT_EQ(ScmGetLastError(), kErrorFailedServiceControllerConnect);
    unsetenv(kScmServiceEnv);
}

TEST_F(ServiceManagerTest, UnknownServiceIsReportedAsSuch) {
    CServiceDescription d("Nobody");
    CServiceControl c(d);
    SERVICE_STATUS st;
    EXPECT_FALSE(c.QueryStatus(st));
    EXPECT_EQ(c.GetLastErrorNumber(), kErrorServiceDoesNotExist);
    EXPECT_FALSE(c.StartService());
    EXPECT_EQ(c.GetLastErrorNumber(), kErrorServiceDoesNotExist);
}

TEST_F(ServiceManagerTest, RemovalOfARunningServiceSurvivesItsStatusWritesAndBlocksRestart) {
    ASSERT_TRUE(Install("Busy", "/bin/true"));
    std::string dir = ScmServiceDirectory("Busy");
    // This test stands in for the running service: it holds the lock.
    int lock = ::open((dir + "/lock").c_str(), O_RDWR);
    ASSERT_GE(lock, 0);
    ASSERT_TRUE(HoldServiceLock(lock));

    SC_HANDLE m = OpenSCManager(SC_MANAGER_CREATE_SERVICE);
    SC_HANDLE s = OpenService(m, "Busy", SERVICE_ALL_ACCESS);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(DeleteService(s));
    EXPECT_TRUE(std::filesystem::exists(dir));  // removed only once it stops
    // The service keeps reporting its state; the removal must not be forgotten.
    std::ofstream(dir + "/status") << "ServiceType=16\nCurrentState=3\nControlsAccepted=5\nPid=1\n";

    ::close(lock);
    EXPECT_FALSE(StartService(s));
    EXPECT_EQ(ScmGetLastError(), 1072);
    CloseServiceHandle(s);
    CloseServiceHandle(m);
}

// Installing and removing are one step each: what a removal racing with a start leaves behind
// (a folder without a config, a start lock put into it) is no service and no obstacle.
TEST_F(ServiceManagerTest, LeftoversOfARacedRemovalAreNoServiceAndNoObstacle) {
    const std::string dir = ScmServiceDirectory("Raced");
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/start.lock") << "";
    CServiceDescription d("Raced");
    CServiceControl c(d);
    SERVICE_STATUS st;
    EXPECT_FALSE(c.QueryStatus(st));
    EXPECT_EQ(c.GetLastErrorNumber(), kErrorServiceDoesNotExist);
    EXPECT_TRUE(EnumInstalledServices().empty());
    ASSERT_TRUE(Install("Raced", "/bin/true"));
    ASSERT_TRUE(c.QueryStatus(st));
    EXPECT_EQ(st.dwCurrentState, SERVICE_STOPPED);

    // Removed, the folder is out of the way at once, whatever is added to its old place.
    ASSERT_TRUE(c.RemoveService());
    EXPECT_FALSE(std::filesystem::exists(dir));
    // A folder being built by another installation is not a service either.
    std::filesystem::create_directories(ScmRootDirectory() + "/.new-elsewhere");
    std::ofstream(ScmRootDirectory() + "/.new-elsewhere/config") << "ServiceName=Ghost\n";
    EXPECT_TRUE(EnumInstalledServices().empty());
    ASSERT_TRUE(Install("Raced", "/bin/true"));
    ASSERT_EQ(EnumInstalledServices().size(), 1u);
}

// A service removed while it runs is started no more, and no new one of its name is installed
// until it has stopped; then both work again.
TEST_F(ServiceManagerTest, ARunningServiceMarkedForRemovalBlocksItsNameUntilItStops) {
    ASSERT_TRUE(Install("Marked", "/bin/true"));
    const std::string dir = ScmServiceDirectory("Marked");
    int lock = ::open((dir + "/lock").c_str(), O_RDWR);
    ASSERT_GE(lock, 0);
    ASSERT_TRUE(HoldServiceLock(lock));
    CServiceDescription d("Marked");
    CServiceControl c(d);
    ASSERT_TRUE(c.RemoveService());
    long error = 0;
    EXPECT_FALSE(Install("Marked", "/bin/true", &error));
    EXPECT_EQ(error, 1072);
    ::close(lock);
    // Stopped: the name is free, and the next installation takes it.
    SERVICE_STATUS st;
    EXPECT_FALSE(c.QueryStatus(st));
    EXPECT_EQ(c.GetLastErrorNumber(), kErrorServiceDoesNotExist);
    EXPECT_TRUE(Install("Marked", "/bin/true", &error)) << error;
}
