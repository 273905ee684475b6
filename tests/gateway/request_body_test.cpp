#include "gateway/request_body.h"

#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

namespace {

// A pipe whose write end delivers the given pieces from another thread, then closes.
class PieceFeeder {
public:
    explicit PieceFeeder(std::vector<std::string> pieces) {
        if (::pipe(fds_) != 0) ADD_FAILURE() << "pipe";
        writer_ = std::thread([this, pieces = std::move(pieces)] {
            for (const std::string& piece : pieces) {
                size_t done = 0;
                while (done < piece.size()) {
                    ssize_t n = ::write(fds_[1], piece.data() + done, piece.size() - done);
                    if (n <= 0) break;
                    done += static_cast<size_t>(n);
                }
                std::this_thread::yield();
            }
            ::close(fds_[1]);
        });
    }
    ~PieceFeeder() {
        ::close(fds_[0]);
        writer_.join();
    }
    int fd() const { return fds_[0]; }

private:
    int fds_[2] = {-1, -1};
    std::thread writer_;
};

struct BodyRun {
    ksml::BodyStatus status;
    std::string body;
    std::vector<ksml::GatewayError> errors;
};

BodyRun Read(std::vector<std::string> pieces, const char* type, const char* length, std::uint64_t max = 1 << 20) {
    PieceFeeder feeder(std::move(pieces));
    ksml::ErrorReport errors(nullptr);
    BodyRun run;
    run.status = ksml::ReadRequestBody(feeder.fd(), type, length, max, run.body, errors);
    run.errors = errors.errors();
    return run;
}

TEST(RequestBody, ReadsUntilTheLengthHasArrivedInPieces) {
    std::string whole;
    std::vector<std::string> pieces;
    for (int i = 0; i < 50; ++i) {
        pieces.push_back(std::string(1000 + i, static_cast<char>('a' + i % 26)));
        whole += pieces.back();
    }
    whole[10] = '\0';  // bytes, not text
    pieces[0][10] = '\0';
    BodyRun run = Read(pieces, "application/octet-stream", std::to_string(whole.size()).c_str());
    EXPECT_EQ(run.status, ksml::BodyStatus::Read);
    EXPECT_EQ(run.body, whole);
    EXPECT_TRUE(run.errors.empty());
}

TEST(RequestBody, StopsAtTheDeclaredLength) {
    BodyRun run = Read({"abcdefgh"}, "text/plain", "5");
    EXPECT_EQ(run.status, ksml::BodyStatus::Read);
    EXPECT_EQ(run.body, "abcde");
}

TEST(RequestBody, NoBodyCases) {
    struct Case {
        const char* type;
        const char* length;
    } cases[] = {
        {nullptr, "10"}, {"text/plain", "0"}, {"text/plain", nullptr}, {"text/plain", "abc"}, {"text/plain", "-0"}};
    for (const Case& c : cases) {
        BodyRun run = Read({"0123456789"}, c.type, c.length);
        EXPECT_EQ(run.status, ksml::BodyStatus::None) << (c.length ? c.length : "(unset)");
        EXPECT_TRUE(run.body.empty());
        EXPECT_TRUE(run.errors.empty());
    }
}

TEST(RequestBody, LengthIsReadLikeAtol) {
    BodyRun run = Read({"0123456789"}, "text/plain", "  4xyz");
    EXPECT_EQ(run.status, ksml::BodyStatus::Read);
    EXPECT_EQ(run.body, "0123");
}

TEST(RequestBody, RefusesABodyOverTheLimitBeforeReading) {
    BodyRun run = Read({"0123456789"}, "text/plain", "11", 10);
    EXPECT_EQ(run.status, ksml::BodyStatus::Failed);
    ASSERT_EQ(run.errors.size(), 1u);
    EXPECT_EQ(run.errors[0].message, "The request body (11 bytes) is larger than this server accepts (10 bytes).");
    EXPECT_EQ(run.errors[0].number, 0);
}

TEST(RequestBody, HugeLengthsAreRefusedNotAllocated) {
    BodyRun run = Read({""}, "text/plain", "99999999999999999999999999");
    EXPECT_EQ(run.status, ksml::BodyStatus::Failed);
    ASSERT_EQ(run.errors.size(), 1u);
    EXPECT_NE(run.errors[0].message.find("is larger than this server accepts"), std::string::npos);
}

TEST(RequestBody, NegativeLengthIsAnError) {
    BodyRun run = Read({"abc"}, "text/plain", "-5");
    EXPECT_EQ(run.status, ksml::BodyStatus::Failed);
    ASSERT_EQ(run.errors.size(), 1u);
    EXPECT_EQ(run.errors[0].message, "The request declares a negative content length.");
}

TEST(RequestBody, EarlyEndOfInputIsAnErrorNotACutBody) {
    BodyRun run = Read({"abc", "de"}, "text/plain", "10");
    EXPECT_EQ(run.status, ksml::BodyStatus::Failed);
    EXPECT_TRUE(run.body.empty());
    ASSERT_EQ(run.errors.size(), 1u);
    EXPECT_EQ(run.errors[0].message,
              "Error attempting to read bytes from standard input (the request body ended after 5 of 10 bytes).");
}

TEST(RequestBody, ReadErrorCarriesTheWindowsNumber) {
    ksml::ErrorReport errors(nullptr);
    std::string body;
    EXPECT_EQ(ksml::ReadRequestBody(-1, "text/plain", "3", 100, body, errors), ksml::BodyStatus::Failed);
    ASSERT_EQ(errors.errors().size(), 1u);
    EXPECT_EQ(errors.errors()[0].message, "Error attempting to read bytes from standard input");
    EXPECT_EQ(errors.errors()[0].number, 6);  // EBADF
}

TEST(RequestBody, ParseContentLength) {
    std::uint64_t n = 7;
    EXPECT_TRUE(ksml::ParseContentLength(nullptr, n));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(ksml::ParseContentLength("+12", n));
    EXPECT_EQ(n, 12u);
    EXPECT_FALSE(ksml::ParseContentLength("-1", n));
}

}  // namespace
