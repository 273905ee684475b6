#include "executive/client_purge.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <thread>

#include "engine/server/client_variable_store.h"
#include "executive_test_home.h"
#include "platform/scm_event.h"

namespace {

// Local time is the zone the test names, restored afterwards.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

TEST(PurgeCutOff, SubtractsCalendarDaysInLocalTime) {
    ZoneGuard zone("Europe/Berlin");
    EXPECT_EQ(PurgeCutOff(LocalTime(2020, 4, 1, 10, 0, 0), 90), "{ts '2020-01-02 10:00:00'}");
    // Across the change to summer time the clock time stays.
    EXPECT_EQ(PurgeCutOff(LocalTime(2020, 3, 30, 10, 0, 0), 2), "{ts '2020-03-28 10:00:00'}");
    EXPECT_EQ(PurgeCutOff(LocalTime(2020, 3, 1, 0, 0, 5), 1), "{ts '2020-02-29 00:00:05'}");
    // A time-out reaching before the four-digit years cuts nothing.
    EXPECT_EQ(PurgeCutOff(LocalTime(2020, 3, 1, 0, 0, 0), 2000000000L), "");
}

TEST(PurgeInterval, KeepsBetweenASecondAndAnHour) {
    struct Case {
        long configured;
        std::uint32_t expected;
    } cases[] = {{60000, 60000}, {86400000, 3600000}, {3600000, 3600000}, {0, 3600000}, {-1, 3600000}, {1, 1000}};
    for (const Case& c : cases) EXPECT_EQ(PurgeInterval(c.configured), c.expected) << c.configured;
}

TEST(IsClientTimeStamp, AcceptsOnlyTheEnginesForm) {
    EXPECT_TRUE(IsClientTimeStamp("{ts '2020-01-01 10:00:00'}"));
    for (const char* bad : {"", "yesterday", "{ts '2020-01-01 10:00'}", "{ts '2020-1-01 10:00:00'}", "{d '2020-01-01'}",
                            "{ts '2020-01-01 10:00:00'} ", "{ts '2020-01-01T10:00:00'}"})
        EXPECT_FALSE(IsClientTimeStamp(bad)) << bad;
}

class PurgeTest : public ExecutiveHomeTest {
protected:
    void SetUp() override {
        ExecutiveHomeTest::SetUp();
        zone_.emplace("UTC");
        now = LocalTime(2020, 4, 1, 10, 0, 0);
    }
    void TearDown() override {
        zone_.reset();
        ExecutiveHomeTest::TearDown();
    }

    void Client(const std::string& id, const std::string& lastVisit, const std::string& hits = "1") {
        if (!lastVisit.empty()) settings->Set("Clients\\" + id, "LASTVISIT", lastVisit);
        settings->Set("Clients\\" + id, "HITCOUNT", hits);
    }
    bool Exists(const std::string& id) { return CRegistryKey::OpenReadOnly(*root, "Clients\\" + id); }
    std::string Value(const std::string& section, const std::string& name) {
        return settings->GetString(section, name, "<missing>");
    }

    std::time_t now = 0;

private:
    std::optional<ZoneGuard> zone_;
};

TEST_F(PurgeTest, RemovesExactlyTheExpiredClients) {
    settings->Set("Clients", "Timeout", "90");
    settings->Set("Clients", "LastID", "22");
    Client("17", "{ts '2020-01-01 10:00:00'}");
    Client("18", "{ts '2020-01-02 10:00:00'}");
    Client("19", "{ts '2020-01-02 10:00:01'}");
    Client("20", "{ts '2020-03-31 09:00:00'}", "7");
    Client("21", "yesterday");
    Client("22", "");
    // Keys the engine did not number are clients all the same.
    Client("abc", "{ts '1999-01-01 00:00:00'}");
    Client("Imported 7", "{ts '2020-03-01 00:00:00'}");
    Client("notes", "");

    CClientPurge purge(*root);
    EXPECT_EQ(purge.PurgeExpiredClients(now), 3);
    struct Expect {
        const char* id;
        bool kept;
    } expected[] = {{"17", false}, {"18", false},  {"19", true},         {"20", true},   {"21", true},
                    {"22", true},  {"abc", false}, {"Imported 7", true}, {"notes", true}};
    for (const Expect& e : expected) EXPECT_EQ(Exists(e.id), e.kept) << e.id;
    EXPECT_EQ(Value("Clients", "LastID"), "22");
    EXPECT_EQ(Value("Clients\\20", "HITCOUNT"), "7");
    EXPECT_EQ(Value("Clients\\20", "LASTVISIT"), "{ts '2020-03-31 09:00:00'}");

    std::string server = Log("SERVER");
    EXPECT_NE(server.find("\"Information\""), std::string::npos);
    EXPECT_NE(server.find("Purged client ID '17'; Last visited '{ts '2020-01-01 10:00:00'}'"), std::string::npos);
    EXPECT_NE(server.find("Purged client ID '18'"), std::string::npos);
    EXPECT_NE(server.find("Purged client ID 'abc'; Last visited '{ts '1999-01-01 00:00:00'}'"), std::string::npos);
    EXPECT_NE(Log("TSEXEC").find("Client ID '21' was kept: its last visit 'yesterday' is not a time stamp."),
              std::string::npos);

    // A client still without a visit at the next pass was not one being created: it goes.
    EXPECT_EQ(purge.PurgeExpiredClients(now), 2);
    EXPECT_FALSE(Exists("22"));
    EXPECT_FALSE(Exists("notes"));
    EXPECT_NE(Log("SERVER").find("Purged client ID '22'; Last visited ''"), std::string::npos);
    EXPECT_NE(Log("SERVER").find("Purged client ID 'notes'; Last visited ''"), std::string::npos);
    EXPECT_TRUE(Exists("Imported 7"));
    EXPECT_TRUE(Exists("21"));
    EXPECT_TRUE(Exists("19"));
}

TEST_F(PurgeTest, AMissingTimeoutIsWrittenAsNinetyDays) {
    Client("5", "{ts '2020-01-01 10:00:00'}");
    Client("6", "{ts '2020-01-03 10:00:00'}");
    EXPECT_EQ(CClientPurge(*root).PurgeExpiredClients(now), 1);
    EXPECT_EQ(Value("Clients", "Timeout"), "90");
    EXPECT_FALSE(Exists("5"));
    EXPECT_TRUE(Exists("6"));
}

TEST_F(PurgeTest, WithoutAnyClientThePassIsNoErrorAndWritesTheDefaultTimeout) {
    ASSERT_FALSE(CRegistryKey::OpenReadOnly(*root, "Clients"));
    EXPECT_EQ(CClientPurge(*root).PurgeExpiredClients(now), 0);
    EXPECT_EQ(Value("Clients", "Timeout"), "90");
    EXPECT_EQ(Log("TSEXEC"), "");
}

TEST_F(PurgeTest, ATimeoutBelowOneDayTurnsThePurgeOff) {
    Client("5", "{ts '1990-01-01 10:00:00'}");
    for (const char* timeout : {"0", "abc", "-3", ""}) {
        settings->Set("Clients", "Timeout", timeout);
        EXPECT_EQ(CClientPurge(*root).PurgeExpiredClients(now), 0) << timeout;
        EXPECT_TRUE(Exists("5")) << timeout;
    }
    settings->Set("Clients", "Timeout", " 1 day");
    EXPECT_EQ(CClientPurge(*root).PurgeExpiredClients(now), 1);
}

TEST_F(PurgeTest, TheThreadRunsAPassAtOnceAndEndsWhenStopped) {
    settings->Set("Clients", "Timeout", "1");
    Client("5", "{ts '1990-01-01 10:00:00'}");
    tessaro::platform::ManualResetEvent stop;
    stop.Set();
    RunClientPurge(*settings, stop);
    EXPECT_FALSE(Exists("5"));
}

// Requests keep recording visits while passes run: the recent clients keep every hit,
// the expired ones go.
TEST_F(PurgeTest, RequestsRunningDuringPassesKeepTheirClients) {
    settings->Set("Clients", "Timeout", "1");
    constexpr int kClients = 20;
    for (int i = 1; i <= kClients; ++i)
        Client(std::to_string(i), i % 2 ? "{ts '2001-01-01 00:00:00'}" : ClientTimeStamp(), "0");

    constexpr int kRounds = 15;
    std::thread requests([] {
        std::unique_ptr<CRegistryKey> home = OpenTessaroRootKey();
        for (int round = 0; round < kRounds; ++round)
            for (int i = 2; i <= kClients; i += 2) {
                CRegistryKey client(*home, "Clients\\" + std::to_string(i), KEY_ALL_ACCESS);
                client.RunInTransaction([&] {
                    long hits = client.GetNumber("HITCOUNT");
                    client.SetString("LASTVISIT", ClientTimeStamp());
                    client.SetString("HITCOUNT", std::to_string(hits + 1));
                });
            }
        tessaro::platform::RegCloseThreadConnections();
    });
    CClientPurge purge(*root);
    for (int pass = 0; pass < 5; ++pass) purge.PurgeExpiredClients(std::time(nullptr));
    requests.join();
    for (int i = 1; i <= kClients; ++i) {
        std::string id = std::to_string(i);
        if (i % 2) {
            EXPECT_FALSE(Exists(id)) << id;
        } else {
            ASSERT_TRUE(Exists(id)) << id;
            EXPECT_EQ(Value("Clients\\" + id, "HITCOUNT"), std::to_string(kRounds)) << id;
            EXPECT_TRUE(IsClientTimeStamp(Value("Clients\\" + id, "LASTVISIT"))) << id;
        }
    }
}

}  // namespace
