#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway/visitor_watch.h"
#include "tests/common/loopback_connection.h"

namespace {

// A visitor connected to a web server on the loopback, and the CGI variables that name the
// connection.
struct Visit {
    tessaro::test::LoopbackConnection connection;
    std::vector<std::string> variables = {"SERVER_ADDR=127.0.0.1",
                                          "SERVER_PORT=" + std::to_string(connection.ServerPort()),
                                          "REMOTE_ADDR=127.0.0.1",
                                          "REMOTE_PORT=" + std::to_string(connection.ClientPort())};
    std::vector<const char*> environment;

    // The environment with one variable replaced ("NAME=" drops it).
    std::vector<const char*> Environment(const std::string& replaced = "") {
        environment.clear();
        const std::string name = replaced.substr(0, replaced.find('=') + 1);
        for (const std::string& v : variables)
            if (name.empty() || v.rfind(name, 0) != 0) environment.push_back(v.c_str());
        if (replaced.size() > name.size()) environment.push_back(replaced.c_str());
        environment.push_back(nullptr);
        return environment;
    }
};

TEST(VisitorWatchTest, TheVisitorHasLeftOnceItsSideOfTheConnectionCloses) {
    Visit visit;
    ksml::VisitorWatch watch(visit.Environment().data());
    ASSERT_TRUE(watch.Watching());
    EXPECT_FALSE(watch.Left());
    EXPECT_FALSE(watch.Left());
    visit.connection.CloseClient();
    EXPECT_TRUE(watch.Left());
    EXPECT_TRUE(watch.Left());
}

TEST(VisitorWatchTest, WithoutAConnectionToWatchTheVisitorNeverLeaves) {
    Visit visit;
    for (const char* replaced : {"REMOTE_PORT=", "SERVER_PORT=", "REMOTE_PORT=port", "REMOTE_PORT=123456",
                                 "REMOTE_ADDR=10.1.2.3", "SERVER_ADDR=", "REMOTE_ADDR=::1"}) {
        ksml::VisitorWatch watch(visit.Environment(replaced).data());
        EXPECT_FALSE(watch.Watching()) << replaced;
        EXPECT_FALSE(watch.Left()) << replaced;
    }
    ksml::VisitorWatch none(nullptr);
    EXPECT_FALSE(none.Watching());
}

}  // namespace
