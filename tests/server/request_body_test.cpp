// Request bodies on the engine's socket: small ones within the memory budget stay in
// memory until parsed, large ones (or ones past the budget) go to a private file that is
// removed with the parse; and a request trickled in slower than its arrival deadline fails.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "engine/server/body_memory_budget.h"
#include "engine/server/request_reader.h"
#include "platform/pipe_frame.h"
#include "support/server_settings.h"
#include "support/web_exception.h"
#include "tests/common/server_test_home.h"

namespace {

namespace fs = std::filesystem;

class ServerNumbers : public CServerSettings {
public:
    ServerNumbers() : CServerSettings(nullptr) {}
    long GetNumber(const std::string& section, const std::string& name, long defaultValue) override {
        if (section == "Server" && name == "MaxBodyMemoryBytes") return memory;
        if (section == "Server" && name == "RequestArrivalSeconds") return arrival;
        return defaultValue;
    }
    long memory = 64 * 1024 * 1024;
    long arrival = 30;
};

std::string Environment(std::size_t bodyLength) {
    std::string env = "REQUEST_METHOD=POST";
    env += '\0';
    env += "CONTENT_TYPE=application/x-www-form-urlencoded";
    env += '\0';
    env += "CONTENT_LENGTH=" + std::to_string(bodyLength);
    env += '\0';
    env += '\0';
    return env;
}

class RequestBodyTest : public ServerTestHome {
protected:
    void SetUp() override {
        ServerTestHome::SetUp();
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_), 0);
    }
    void TearDown() override {
        ::close(fds_[0]);
        ::close(fds_[1]);
        ServerTestHome::TearDown();
    }
    // Sends the request from another thread (a large body does not fit the socket buffer).
    std::thread Send(const std::string& body) {
        return std::thread([this, body] {
            tessaro::platform::WritePipeMessage(fds_[1], Environment(body.size()));
            tessaro::platform::WritePipeMessage(fds_[1], body);
        });
    }
    std::size_t FilesIn(const std::string& folder) const {
        std::size_t n = 0;
        std::error_code ec;
        for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); ++it) ++n;
        return n;
    }
    int fds_[2] = {-1, -1};
    ServerNumbers settings_;
    std::shared_ptr<BodyMemoryBudget> budget_ = std::make_shared<BodyMemoryBudget>();
};

TEST_F(RequestBodyTest, BodiesStayInMemoryOnlyWithinTheBudget) {
    struct Case {
        std::size_t valueBytes;
        long memory;
        bool inFile;
    } const cases[] = {
        {1000, 64 * 1024 * 1024, false},    // small: in memory, counted in the budget
        {3 << 20, 64 * 1024 * 1024, true},  // large: a file whatever the budget
        {1000, 500, true},                  // small, but past the budget
    };
    for (const Case& c : cases) {
        settings_.memory = c.memory;
        const std::string body = "a=" + std::string(c.valueBytes, 'x') + "&b=2";
        std::thread sender = Send(body);
        CPipeRequestReader reader(fds_[0], &settings_, budget_, 10000);
        ASSERT_TRUE(reader.ReceiveRequest());
        sender.join();
        EXPECT_EQ(FilesIn(home() + "/tmp/body"), c.inFile ? 1u : 0u) << c.valueBytes;
        EXPECT_EQ(budget_->HeldNow(), c.inFile ? 0u : body.size()) << c.valueBytes;
        reader.ParseCgiEnvironment();
        EXPECT_EQ(reader.GetFormField("a").size(), c.valueBytes);
        EXPECT_EQ(reader.GetFormField("b"), "2");
        // The parse lets the body go, wherever it was.
        EXPECT_EQ(FilesIn(home() + "/tmp/body"), 0u);
        EXPECT_EQ(budget_->HeldNow(), 0u);
    }
}

TEST(BodyMemoryBudget, EachBudgetCountsItsOwnSharesAndLivesUntilTheLastIsGiven) {
    auto first = std::make_shared<BodyMemoryBudget>();
    auto second = std::make_shared<BodyMemoryBudget>();
    BodyMemoryReservation a, b, c, none;
    EXPECT_TRUE(a.TryTake(first, 500, 1000));
    EXPECT_FALSE(b.TryTake(first, 600, 1000));  // past the first budget's cap
    EXPECT_EQ(b.Bytes(), 0u);
    EXPECT_TRUE(c.TryTake(second, 600, 1000));  // another listener's budget is its own
    EXPECT_FALSE(none.TryTake(nullptr, 10, 1000));
    EXPECT_EQ(first->HeldNow(), 500u);
    EXPECT_EQ(second->HeldNow(), 600u);
    EXPECT_TRUE(b.TryTake(first, 500, 1000));
    EXPECT_EQ(first->HeldNow(), 1000u);
    // The listener goes first; its requests' shares still come back to a living budget.
    std::weak_ptr<BodyMemoryBudget> gone = first;
    first.reset();
    a.Release();
    EXPECT_FALSE(gone.expired());
    EXPECT_EQ(gone.lock()->HeldNow(), 500u);
    b.Release();
    EXPECT_TRUE(gone.expired());
    c.Release();
    EXPECT_EQ(second->HeldNow(), 0u);
}

TEST_F(RequestBodyTest, ARequestTrickledPastItsArrivalDeadlineFails) {
    settings_.arrival = 2;
    std::thread sender([this] {
        std::string env = Environment(3);
        std::string frame(8, '\0');
        frame[0] = 1;
        frame[4] = static_cast<char>(env.size());
        std::string bytes = frame + env;
        // One byte a second: never a stall of the default five seconds.
        for (std::size_t i = 0; i < bytes.size() && i < 5; ++i) {
            if (::send(fds_[1], &bytes[i], 1, MSG_NOSIGNAL) != 1) return;
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    CPipeRequestReader reader(fds_[0], &settings_, budget_, 60000);
    EXPECT_FALSE(reader.ReceiveRequest());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(3500));
    ::shutdown(fds_[1], SHUT_RDWR);
    sender.join();
    try {
        reader.ParseCgiEnvironment();
        ADD_FAILURE() << "the read error is thrown";
    } catch (CWebException* e) {
        e->Delete();
    }
}

TEST_F(RequestBodyTest, AFileBodyIsDecodedWholeWhilePassedInSteps) {
    // A body in a file is parsed in steps, its pages let go behind the parse; escapes that
    // straddle a step, a NUL that ends the text and repeated fields come out as from memory.
    std::string value;
    for (int i = 0; i < 6 * 1024 * 1024 / 8; ++i) value += (i % 3 == 0) ? "%41b+c%2" : "xyz%7e+q%";
    const std::string body = "a=1&&big=" + value + "&a=2&b=%4" + std::string(1, '\0') + "&c=3";
    std::thread sender = Send(body);
    CPipeRequestReader reader(fds_[0], &settings_, budget_, 10000);
    ASSERT_TRUE(reader.ReceiveRequest());
    sender.join();
    ASSERT_EQ(FilesIn(home() + "/tmp/body"), 1u);
    reader.ParseCgiEnvironment();
    EXPECT_TRUE(reader.GetFormField("big") == UrlDecode(value));
    EXPECT_EQ(reader.GetFormField("a"), "1,2");
    EXPECT_EQ(reader.GetFormField("b"), "%4");
    EXPECT_FALSE(reader.HasFormField("c"));
    EXPECT_EQ(reader.GetFormField("FIELDNAMES"), "A,BIG,A,B");
}

}  // namespace
