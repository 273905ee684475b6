#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/server/client_id_allocator.h"
#include "engine/server/client_id_source.h"
#include "engine/server/client_scope.h"
#include "platform/system_calls.h"
#include "support/registry.h"
#include "support/web_exception.h"
#include "tests/common/file_text.h"
#include "tests/common/registry_home_fixture.h"
#include "tests/common/web_error_capture.h"

namespace {

using tessaro::test::ReadFileText;

// A request as the client store sees it: URL parameters, cookies sent, cookies set.
class FakeIdSource : public CClientIdSource {
public:
    std::map<std::string, std::string> url;
    std::map<std::string, std::string> cookies;
    std::map<std::string, std::string> setCookies;
    std::vector<std::string> setOrder;

    bool UrlParameterExists(const std::string& n) override { return url.count(n) != 0; }
    std::string GetUrlParameter(const std::string& n) override { return url.at(n); }
    bool CookieExists(const std::string& n) override { return cookies.count(n) != 0; }
    std::string GetCookie(const std::string& n) override { return cookies.at(n); }
    void SetCookie(const std::string& n, const std::string& v) override {
        setCookies[n] = v;
        setOrder.push_back(n);
    }
    int Random() override { return 7; }
};

const std::regex kStamp(R"(\{ts '\d{4}-\d\d-\d\d \d\d:\d\d:\d\d'\})");

class ClientVariablesTest : public RegistryHomeTest {
protected:
    void SetUp() override {
        RegistryHomeTest::SetUp();
        root_ = OpenTessaroRootKey();
    }
    void TearDown() override {
        root_.reset();
        RegistryHomeTest::TearDown();
    }

    // One request: builds the scope, switches client management on, and leaves
    // the scope to the caller for more calls.
    std::unique_ptr<CClientScope> Visit(FakeIdSource& source) {
        auto scope = std::make_unique<CClientScope>(source, idLock_);
        scope->EnableClientManagement(true);
        return scope;
    }
    std::string Value(const std::string& path, const std::string& name) {
        CRegistryKey key(*root_, path, KEY_READ);
        return key.GetString(name);
    }
    bool KeyExists(const std::string& path) { return CRegistryKey::OpenReadOnly(*root_, path); }
    std::unique_ptr<CRegistryKey> ClientsKey() { return std::unique_ptr<CRegistryKey>(root_->CreateSubKey("Clients")); }
    // Clients 1..count made by hand, each with a token "t<id>".
    void MakeClients(int count) {
        auto clients = ClientsKey();
        for (int i = 1; i <= count; ++i) {
            std::unique_ptr<CRegistryKey> key(clients->CreateSubKey(std::to_string(i)));
            key->SetString("TSTOKEN", "t" + std::to_string(i));
        }
    }

    std::unique_ptr<CRegistryKey> root_;
    tessaro::platform::TimedMutex idLock_;
};

TEST_F(ClientVariablesTest, FirstVisitCreatesClientOneAndSetsBothCookies) {
    FakeIdSource source;
    auto scope = Visit(source);

    EXPECT_EQ(source.setOrder, (std::vector<std::string>{"TSID", "TSTOKEN"}));
    EXPECT_EQ(source.setCookies["TSID"], "1");
    const std::string token = source.setCookies["TSTOKEN"];
    EXPECT_TRUE(std::regex_match(token, std::regex("[0-9]+"))) << token;

    EXPECT_EQ(Value("Clients", "LastID"), "1");
    EXPECT_EQ(Value("Clients\\1", "TSTOKEN"), token);
    EXPECT_EQ(Value("Clients\\1", "HITCOUNT"), "1");
    const std::string created = Value("Clients\\1", "TIMECREATED");
    EXPECT_TRUE(std::regex_match(created, kStamp)) << created;
    EXPECT_EQ(Value("Clients\\1", "LASTVISIT"), created);
    EXPECT_EQ(scope->Get("LastVisit"), created);
    EXPECT_EQ(scope->Get("tsid"), "1");
    EXPECT_EQ(scope->Get("UrlToken"), "TSID=1&TSTOKEN=" + token);
    EXPECT_EQ(scope->Get("URLTOKEN"), scope->Get("urltoken"));
}

TEST_F(ClientVariablesTest, ReturningClientCountsTheHitAndSeesThePreviousVisit) {
    FakeIdSource first;
    Visit(first);
    const std::string token = first.setCookies["TSTOKEN"];
    {
        CRegistryKey key(*root_, "Clients\\1", KEY_ALL_ACCESS);
        key.SetString("LASTVISIT", "{ts '2001-02-03 04:05:06'}");
    }

    FakeIdSource second;
    second.url = {{"TSID", "1"}, {"TSTOKEN", token}};
    auto scope = Visit(second);
    EXPECT_EQ(Value("Clients\\1", "HITCOUNT"), "2");
    EXPECT_EQ(scope->Get("LASTVISIT"), "{ts '2001-02-03 04:05:06'}");
    EXPECT_TRUE(std::regex_match(Value("Clients\\1", "LASTVISIT"), kStamp));
    EXPECT_NE(Value("Clients\\1", "LASTVISIT"), "{ts '2001-02-03 04:05:06'}");
    EXPECT_EQ(second.setCookies["TSID"], "1");
    EXPECT_EQ(second.setCookies["TSTOKEN"], token);
    EXPECT_EQ(Value("Clients", "LastID"), "1");
}

TEST_F(ClientVariablesTest, CookiesIdentifyTheClientAndUrlParametersWinOverThem) {
    MakeClients(2);
    FakeIdSource byCookie;
    byCookie.cookies = {{"TSID", "2"}, {"TSTOKEN", "t2"}};
    Visit(byCookie);
    EXPECT_EQ(byCookie.setCookies["TSID"], "2");

    FakeIdSource both;
    both.url = {{"TSID", "1"}, {"TSTOKEN", "t1"}};
    both.cookies = {{"TSID", "2"}, {"TSTOKEN", "t2"}};
    Visit(both);
    EXPECT_EQ(both.setCookies["TSID"], "1");
    EXPECT_EQ(Value("Clients\\1", "HITCOUNT"), "1");
    EXPECT_EQ(Value("Clients\\2", "HITCOUNT"), "1");
}

TEST_F(ClientVariablesTest, ForgedOrMalformedIdentityGivesANewClientAndLeavesOthersAlone) {
    MakeClients(1);
    struct Case {
        const char* id;
        std::string token;
    } cases[] = {
        {"1", "t2"},                                                    // wrong token
        {"1", "T1"},                                                    // tokens compare with case
        {"1", ""},                                                      // missing token
        {"", "t1"},                                                     // no id
        {"1\\..", "t1"},                                                // not a plain number
        {"01x", "t1"},   {"-1", "t1"}, {"1", std::string(100000, '7')}  // oversized token
    };
    std::set<std::string> ids;
    for (const Case& c : cases) {
        FakeIdSource source;
        source.url = {{"TSID", c.id}, {"TSTOKEN", c.token}};
        Visit(source);
        EXPECT_NE(source.setCookies["TSID"], "1") << c.id;
        ids.insert(source.setCookies["TSID"]);
    }
    EXPECT_EQ(ids.size(), std::size(cases));
    EXPECT_EQ(Value("Clients\\1", "TSTOKEN"), "t1");
    EXPECT_FALSE(CRegistryKey(*root_, "Clients\\1", KEY_READ).ValueExists("HITCOUNT"));
}

TEST_F(ClientVariablesTest, NewIdsNeverReuseAnExistingKey) {
    // Names enumerate as text ("10" before "9"); the next id still follows the
    // largest number, whatever LastID says.
    struct Case {
        const char* lastId;
        const char* expected;
    } cases[] = {{"9", "11"},
                 {"3", "11"},
                 {"", "11"},
                 {"junk", "11"},
                 {"10", "11"},
                 {"20", "21"},
                 {"99999999999999999999", "11"}};
    for (const Case& c : cases) {
        CRegistrySettings(root_.get()).DeleteSection("Clients");
        MakeClients(10);
        ClientsKey()->SetString("LastID", c.lastId);
        EXPECT_EQ(GenerateUniqueClient(*ClientsKey(), idLock_), c.expected) << c.lastId;
        EXPECT_EQ(Value("Clients", "LastID"), c.expected);
        EXPECT_EQ(Value("Clients\\10", "TSTOKEN"), "t10");
    }
}

TEST_F(ClientVariablesTest, ConcurrentNewClientsGetDistinctIds) {
    ClientsKey();
    constexpr int kThreads = 8;
    std::vector<std::string> ids(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([this, &ids, i] {
            FakeIdSource source;
            CClientScope scope(source, idLock_);
            scope.EnableClientManagement(true);
            ids[i] = source.setCookies["TSID"];
            tessaro::platform::RegCloseThreadConnections();
        });
    for (auto& t : threads) t.join();
    std::set<std::string> distinct(ids.begin(), ids.end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads));
    EXPECT_EQ(Value("Clients", "LastID"), std::to_string(kThreads));
}

TEST_F(ClientVariablesTest, ConcurrentVisitsOfOneClientCountEveryHit) {
    MakeClients(1);
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([this] {
            FakeIdSource source;
            source.cookies = {{"TSID", "1"}, {"TSTOKEN", "t1"}};
            CClientScope scope(source, idLock_);
            scope.EnableClientManagement(true);
            tessaro::platform::RegCloseThreadConnections();
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(Value("Clients\\1", "HITCOUNT"), std::to_string(kThreads));
}

TEST_F(ClientVariablesTest, AllocationLockTimeOutIsReportedAndHandsOutNothing) {
    CRegistrySettings(root_.get()).Set("Logging", "LogFilePath", home());
    auto clients = ClientsKey();
    clients->SetString("LastID", "4");
    std::timed_mutex& mutex = idLock_;
    mutex.lock();
    // The lock is held by this thread, so the waiting call runs on another one.
    std::string message;
    std::thread other([&] {
        Thrown inner = WebErrorOf([&] { GenerateUniqueClient(*clients, idLock_, 20); });
        message = inner.message;
        tessaro::platform::RegCloseThreadConnections();
    });
    other.join();
    mutex.unlock();
    EXPECT_EQ(message, "Synchronization error.<P>");
    EXPECT_EQ(Value("Clients", "LastID"), "4");
    EXPECT_NE(ReadFileText(home() + "/SERVER.LOG").find("The mutex timed-out in GenerateUniqueClient()."),
              std::string::npos);
}

TEST_F(ClientVariablesTest, AllocationLockIsReleasedWhenTheStoreFails) {
    ClientsKey();
    CRegistryKey readOnly(*root_, "Clients", KEY_READ);
    bool threw = false;
    try {
        GenerateUniqueClient(readOnly, idLock_);
    } catch (CRegistryException* e) {
        threw = true;
        e->Delete();
    }
    EXPECT_TRUE(threw);
    ASSERT_TRUE(idLock_.try_lock());
    idLock_.unlock();
    EXPECT_EQ(GenerateUniqueClient(*ClientsKey(), idLock_), "1");
}

TEST_F(ClientVariablesTest, DisabledScopeRefusesEveryAccessButTheExistenceTest) {
    FakeIdSource source;
    CClientScope scope(source, idLock_);
    const std::string detail =
        "Server-side application client variables are currently disabled. In order to enable them the TSAPPLICATION "
        "tag must be used with the CLIENTMANAGEMENT attribute set to YES.<P>";
    EXPECT_FALSE(scope.IsEnabled());
    EXPECT_FALSE(scope.Exists("X"));
    std::vector<std::string> names;
    struct Case {
        std::function<void()> call;
        const char* title;
    } cases[] = {
        {[&] { scope.GetVariableNames(names); }, "Unable to get a list of client variables.<P>"},
        {[&] { scope.IsReserved("X"); }, "Unable to access the client variable, X.<P>"},
        {[&] { scope.Get("X"); }, "Unable to get the client variable, X.<P>"},
        {[&] { scope.Set("X", "1"); }, "Unable to set the client variable, X.<P>"},
        {[&] { scope.Delete("X"); }, "Unable to delete the client variable, X.<P>"},
        // Stored names carry the application's prefix; the title shows the name the author wrote.
        {[&] { scope.Set("::A", "1"); }, "Unable to set the client variable, A.<P>"},
        {[&] { scope.Get("shop::Basket"); }, "Unable to get the client variable, Basket.<P>"},
    };
    for (const Case& c : cases) {
        Thrown t = WebErrorOf(c.call);
        EXPECT_EQ(t.message, c.title);
        EXPECT_EQ(t.detail, detail);
    }
    EXPECT_FALSE(KeyExists("Clients\\1"));
    EXPECT_EQ(Value("Clients", "LastID"), "");
    EXPECT_TRUE(source.setCookies.empty());
}

TEST_F(ClientVariablesTest, SwitchingOnTwiceReusesTheClientAndOffDisablesAgain) {
    FakeIdSource source;
    auto scope = Visit(source);
    scope->Set("a", "1");
    scope->EnableClientManagement(false);
    EXPECT_FALSE(scope->IsEnabled());
    EXPECT_FALSE(scope->Exists("A"));
    scope->EnableClientManagement(true);
    EXPECT_EQ(scope->Get("A"), "1");
    EXPECT_EQ(Value("Clients\\1", "HITCOUNT"), "1");
    EXPECT_EQ(Value("Clients", "LastID"), "1");
}

TEST_F(ClientVariablesTest, VariablesAreStoredUpperCasedAndReadInAnyCase) {
    FakeIdSource source;
    auto scope = Visit(source);
    scope->Set("shop::colour", "red");
    EXPECT_EQ(Value("Clients\\1", "SHOP::COLOUR"), "red");
    EXPECT_TRUE(scope->Exists("Shop::Colour"));
    EXPECT_EQ(scope->Get("SHOP::colour"), "red");
    for (const char* name : {"TSID", "tstoken", "HitCount", "TIMECREATED", "lastvisit", "URLTOKEN"}) {
        EXPECT_TRUE(scope->IsReserved(name)) << name;
        EXPECT_TRUE(scope->Exists(name)) << name;
    }
    EXPECT_FALSE(scope->IsReserved("COLOUR"));
    EXPECT_EQ(scope->Get("hitcount"), "1");

    std::vector<std::string> names;
    scope->GetVariableNames(names);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"TSTOKEN", "TIMECREATED", "LASTVISIT", "HITCOUNT", "SHOP::COLOUR"}));

    scope->Delete("shop::COLOUR");
    EXPECT_FALSE(scope->Exists("SHOP::COLOUR"));
}

TEST_F(ClientVariablesTest, LongValuesReadBackWhole) {
    FakeIdSource source;
    auto scope = Visit(source);
    const std::string value(20000, 'v');
    scope->Set("BIG", value);
    EXPECT_EQ(scope->Get("big"), value);
}

TEST_F(ClientVariablesTest, ReservedAndMissingNamesGiveTheirMessages) {
    FakeIdSource source;
    auto scope = Visit(source);
    struct Case {
        std::function<void()> call;
        const char* title;
        const char* detail;
    } cases[] = {
        {[&] { scope->Set("hitcount", "9"); }, "Error attempting to set a read-only client value.<P>",
         "'CLIENT.hitcount' is a read-only variable defined by the system. You cannot set its value.<P>"},
        {[&] { scope->Set("URLTOKEN", "9"); }, "Error attempting to set a read-only client value.<P>",
         "'CLIENT.URLTOKEN' is a read-only variable defined by the system. You cannot set its value.<P>"},
        {[&] { scope->Delete("X"); }, "Error attempting to delete a client value.<P>",
         "'CLIENT.X' does not exist, so there is nothing to delete. (The current client ID is '1'.)<P>"},
        {[&] { scope->Delete("tsid"); }, "Error attempting to delete a system-reserved client value.<P>",
         "'CLIENT.tsid' is a read-only client variable defined by the system. You cannot delete it.<P>"},
        {[&] { scope->Get("Nope"); }, "The variable 'CLIENT.Nope' does not exist.<P>",
         "A reference was made to a client variable named 'Nope', but no variable of that name has been set for "
         "the client. (The current client ID is '1'.)<P>"},
    };
    for (const Case& c : cases) {
        Thrown t = WebErrorOf(c.call);
        EXPECT_EQ(t.message, c.title);
        EXPECT_EQ(t.detail, c.detail);
    }
    EXPECT_EQ(Value("Clients\\1", "HITCOUNT"), "1");
}

TEST(ClientTokenTest, TokensAreDecimalAndDoNotRepeat) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        std::string token = NewClientToken();
        ASSERT_TRUE(std::regex_match(token, std::regex("[0-9]{1,19}"))) << token;
        seen.insert(token);
    }
    EXPECT_EQ(seen.size(), 200u);
}

// A token others could guess would give them the client's variables: with no random
// source there is no token, and the request says why.
TEST(ClientTokenTest, NoTokenWithoutTheRandomSource) {
    tessaro::platform::ScopedSystemCall random(tessaro::platform::SystemCalls().getrandom,
                                               [](void*, size_t, unsigned) -> ssize_t {
                                                   errno = EIO;
                                                   return -1;
                                               });
    Thrown t = WebErrorOf([] { NewClientToken(); });
    EXPECT_EQ(t.message, "Unable to create a client token.<P>");
    EXPECT_EQ(t.detail, "The system's random source could not be read.<P>");
}

TEST(ClientIdTest, OnlyPlainDecimalIdsAreWellFormed) {
    for (const char* good : {"1", "0042", "999999999999999999"}) EXPECT_TRUE(IsWellFormedClientId(good)) << good;
    for (const char* bad : {"", "-1", "+1", "1 ", "1\\2", "a", "1234567890123456789"})
        EXPECT_FALSE(IsWellFormedClientId(bad)) << bad;
}

}  // namespace
