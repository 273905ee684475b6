// The service commands without the command line, and the one owner of service handles.
#include <gtest/gtest.h>

#include "platform/service_commands.h"
#include "platform/service_handle.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class ServiceCommandsTest : public TempHomeTest {};

TEST_F(ServiceCommandsTest, InstallQueryListAndRemove) {
    ASSERT_TRUE(InstallServiceProgram("Demo", "Demo Service", SERVICE_DEMAND_START, "/bin/true", {"-x"}));
    EXPECT_FALSE(InstallServiceProgram("demo", "Demo Service", SERVICE_DEMAND_START, "/bin/true", {}));
    EXPECT_EQ(ScmGetLastError(), kErrorServiceExists);

    SERVICE_STATUS status;
    ASSERT_TRUE(QueryServiceByName("Demo", status));
    EXPECT_EQ(ServiceStatusText("Demo", status),
              "SERVICE_NAME: Demo\nSTATE: 1 STOPPED\nCHECKPOINT: 0\nWAIT_HINT: 0\nWIN32_EXIT_CODE: 0\n"
              "SERVICE_EXIT_CODE: 0\nCONTROLS_ACCEPTED: 0\n");
    std::vector<ListedService> listed = ListServices();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].service.name, "Demo");
    EXPECT_STREQ(listed[0].state, "STOPPED");

    EXPECT_FALSE(ControlServiceByName("Demo", SERVICE_CONTROL_STOP));
    EXPECT_EQ(ScmGetLastError(), kErrorServiceNotActive);
    EXPECT_TRUE(StartAutomaticServices().empty());  // a demand-start service is left alone
    ASSERT_TRUE(RemoveServiceByName("Demo"));
    EXPECT_FALSE(QueryServiceByName("Demo", status));
    EXPECT_EQ(ScmGetLastError(), kErrorServiceDoesNotExist);
}

TEST_F(ServiceCommandsTest, ClosingHandlesKeepsTheErrorOfTheFailedCall) {
    OpenedService opened;
    EXPECT_FALSE(OpenServiceByName(opened, "Nobody", GENERIC_READ_ACCESS, GENERIC_READ_ACCESS));
    EXPECT_TRUE(opened.manager);
    EXPECT_FALSE(opened.service);
    opened.manager.Reset();
    EXPECT_EQ(ScmGetLastError(), kErrorServiceDoesNotExist);
    ServiceHandle moved(OpenSCManager(GENERIC_READ_ACCESS));
    ServiceHandle taker(std::move(moved));
    EXPECT_FALSE(moved);
    EXPECT_TRUE(taker);
}

}  // namespace
