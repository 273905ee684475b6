#include "gateway/engine_service.h"

#include <gtest/gtest.h>

#include "gateway_fixtures.h"
#include "platform/named_event.h"
#include "platform/service_manager.h"

namespace {

using gateway_test::FastSettings;
using tessaro::test::TempHome;

TEST(ServiceManagerEngine, EngineThatIsNotInstalledCannotBeStarted) {
    TempHome home;
    auto settings = FastSettings();
    ksml::ServiceManagerEngine engine(settings);
    ksml::ErrorReport errors(nullptr);
    EXPECT_FALSE(engine.StartServerService(errors));
    ASSERT_EQ(errors.errors().size(), 1u);
    EXPECT_EQ(errors.errors()[0].message, "Error occurred while attempt to open service.");
    EXPECT_EQ(errors.errors()[0].number, 1060);
}

TEST(ServiceManagerEngine, ServiceThatEndsDuringItsStartIsReported) {
    TempHome home;
    namespace scm = tessaro::platform;
    scm::SC_HANDLE manager = scm::OpenSCManager(scm::SC_MANAGER_CREATE_SERVICE);
    ASSERT_NE(manager, nullptr);
    scm::SC_HANDLE service = scm::CreateService(manager, ksml::kEngineServiceName, ksml::kEngineServiceName,
                                                scm::SERVICE_ALL_ACCESS, scm::SERVICE_WIN32_OWN_PROCESS,
                                                scm::SERVICE_DEMAND_START, scm::SERVICE_ERROR_NORMAL, "/bin/false");
    ASSERT_NE(service, nullptr);
    scm::CloseServiceHandle(service);
    scm::CloseServiceHandle(manager);

    auto settings = FastSettings();
    ksml::ServiceManagerEngine engine(settings);
    ksml::ErrorReport errors(nullptr);
    EXPECT_FALSE(engine.StartServerService(errors));
    ASSERT_EQ(errors.errors().size(), 1u);
    EXPECT_EQ(errors.errors()[0].message,
              "Error occurred while attempting to start service (timed out waiting for service to start).");
}

TEST(ServiceManagerEngine, TerminationEventWithoutAnEngine) {
    TempHome home;
    auto settings = FastSettings();
    ksml::ServiceManagerEngine engine(settings);
    ksml::ErrorReport errors(nullptr);
    EXPECT_FALSE(engine.SetServerTerminationEvent(errors));
    ASSERT_EQ(errors.errors().size(), 1u);
    EXPECT_EQ(errors.errors()[0].message, "Failed to set server termination event.");
    EXPECT_EQ(errors.errors()[0].number, 2);
}

TEST(ServiceManagerEngine, TerminationEventReachesTheEngineThatHoldsIt) {
    TempHome home;
    auto held = tessaro::platform::NamedEvent::Create(ksml::kTerminationEventName);
    ASSERT_TRUE(held);
    auto settings = FastSettings();
    ksml::ServiceManagerEngine engine(settings);
    ksml::ErrorReport errors(nullptr);
    EXPECT_TRUE(engine.SetServerTerminationEvent(errors));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(held->Wait(0));
}

}  // namespace
