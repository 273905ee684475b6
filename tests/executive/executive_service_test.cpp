#include "executive/executive_service.h"

#include <gtest/gtest.h>

#include <thread>

#include "executive_test_home.h"
#include "platform/scm_event.h"

namespace {

class ExecutiveServiceTest : public ExecutiveHomeTest {};

TEST_F(ExecutiveServiceTest, ShutdownOfTheMachineKeepsTheEngineFromBeingStartedAgain) {
    settings->Set("Server", "ServiceRunning", "1");
    CTSExecutiveService service;
    long number = 0;
    std::string text;
    ASSERT_TRUE(service.Init(&number, text)) << text;
    service.OnShutdown();
    EXPECT_EQ(settings->GetString("Server", "ServiceRunning", ""), "0");
    EXPECT_NE(Log("TSEXEC").find("The service 'Tessaro Executive' started."), std::string::npos);
}

TEST_F(ExecutiveServiceTest, ErrorLinesCarryTheirNumber) {
    CTSExecutiveService service;
    service.LogServerError("Error attempting to start the service.", 0);
    service.LogServerError("Timed out.", 5);
    std::string log = Log("TSEXEC");
    EXPECT_NE(log.find("\"Error attempting to start the service.\""), std::string::npos) << log;
    EXPECT_NE(log.find("\"Timed out. Windows NT error number 5 occurred.\""), std::string::npos) << log;
}

TEST_F(ExecutiveServiceTest, TheMainThreadEndsItsWorkersWhenStopped) {
    settings->Set("Server", "ServiceRunning", "0");
    settings->Set("Clients", "Timeout", "1");
    settings->Set("Clients\\3", "LASTVISIT", "{ts '2001-01-01 00:00:00'}");
    tessaro::platform::ManualResetEvent stop;
    std::thread main([&] { ExecutiveMainThread(&stop); });
    // The purge's first pass runs at once.
    for (int i = 0; i < 500 && CRegistryKey::OpenReadOnly(*root, "Clients\\3"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(CRegistryKey::OpenReadOnly(*root, "Clients\\3"));
    stop.Set();
    main.join();
    EXPECT_NE(Log("TSEXEC").find("The service 'Tessaro Executive' stopped."), std::string::npos);
}

}  // namespace
