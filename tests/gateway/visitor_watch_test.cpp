#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gateway/visitor_watch.h"

namespace {

// A visitor connected to a web server on the loopback, and the CGI variables that name the
// connection.
struct Visit {
    int listener = -1, visitor = -1, server = -1;
    std::vector<std::string> variables;
    Visit() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener, 4);
        socklen_t length = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        const int serverPort = ntohs(address.sin_port);
        visitor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(visitor, reinterpret_cast<sockaddr*>(&address), sizeof address);
        server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        sockaddr_in peer{};
        length = sizeof peer;
        ::getpeername(server, reinterpret_cast<sockaddr*>(&peer), &length);
        variables = {"SERVER_ADDR=127.0.0.1", "SERVER_PORT=" + std::to_string(serverPort), "REMOTE_ADDR=127.0.0.1",
                     "REMOTE_PORT=" + std::to_string(ntohs(peer.sin_port))};
    }
    ~Visit() {
        for (int fd : {listener, visitor, server})
            if (fd >= 0) ::close(fd);
    }
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
    std::vector<const char*> environment;
};

TEST(VisitorWatchTest, TheVisitorHasLeftOnceItsSideOfTheConnectionCloses) {
    Visit visit;
    ksml::VisitorWatch watch(visit.Environment().data());
    ASSERT_TRUE(watch.Watching());
    EXPECT_FALSE(watch.Left());
    EXPECT_FALSE(watch.Left());
    ::close(visit.visitor);
    visit.visitor = -1;
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
