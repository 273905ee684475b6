#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "support/web_exception.h"
#include "engine/templates/scopes/cookie_scope.h"

namespace {

TEST(CookieScope, ParsesTheCookieHeader) {
    const struct {
        const char* header;
        std::vector<std::pair<const char*, const char*>> expected;
    } cases[] = {
        {"a=1; b=2", {{"A", "1"}, {"b", "2"}}},
        {" b =x;c= 3", {{"B", "x"}, {"C", " 3"}}},
        {"x=a%20b+c", {{"X", "a b c"}}},
        {"x=1; x=2", {{"X", "2"}}},
        {"noequals; y=%41%4a", {{"Y", "AJ"}}},
        {"t=50%; u=%4", {{"T", "50%"}, {"U", "%4"}}},
        {"e=", {{"E", ""}}},
    };
    for (const auto& c : cases) {
        CCookieScope scope(nullptr);
        scope.ParseCookieHeader(c.header);
        for (const auto& [name, value] : c.expected) {
            std::string got;
            ASSERT_TRUE(scope.GetCookie(name, got)) << c.header << " " << name;
            EXPECT_EQ(got, value) << c.header;
        }
    }
    CCookieScope scope(nullptr);
    scope.ParseCookieHeader("noequals");
    std::string got;
    EXPECT_FALSE(scope.GetCookie("noequals", got));
}

TEST(CookieScope, VariablesAreCaseInsensitive) {
    CCookieScope scope(nullptr);
    scope.SetVariable("Name", "1");
    scope.SetVariable("NAME", "2");
    std::string value;
    ASSERT_TRUE(scope.GetVariable("name", value));
    EXPECT_EQ(value, "2");
    EXPECT_FALSE(scope.GetVariable("other", value));
}

TEST(CookieScope, SetCookieLines) {
    CCookie plain;
    plain.name = "ID";
    plain.value = "a b&c";
    EXPECT_EQ(plain.GetSetCookieLine(), "Set-Cookie: ID=a+b%26c; path=/; ");

    CCookie full;
    full.name = "S";
    full.value = "\xC3\xA9/x";
    full.path = "/app";
    full.domain = "example.com";
    full.secure = true;
    full.SetExpires(std::time_t{0});
    EXPECT_EQ(full.GetSetCookieLine(),
              "Set-Cookie: S=%C3%A9%2Fx; expires=Thu, 01-Jan-70 00:00:00 GMT; path=/app; domain=example.com; secure");
}

TEST(CookieScope, ExpiryIsWrittenInGmtWhateverTheLocalZone) {
    const char* saved = std::getenv("TZ");
    std::string old = saved ? saved : "";
    setenv("TZ", "America/New_York", 1);
    tzset();
    EXPECT_EQ(FormatCookieExpiry(1000000000), "Sun, 09-Sep-01 01:46:40 GMT");
    if (saved)
        setenv("TZ", old.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(CookieScope, AddCookieReplacesAndUpdatesTheRequestValue) {
    CCookieScope scope(nullptr);
    scope.SetCookieValue("ID", "old");
    auto first = std::make_unique<CCookie>();
    first->name = "ID";
    first->value = "1";
    scope.AddCookie(std::move(first));
    auto second = std::make_unique<CCookie>();
    second->name = "ID";
    second->value = "2";
    scope.AddCookie(std::move(second));
    EXPECT_EQ(scope.BuildSetCookieHeaders(), "Set-Cookie: ID=2; path=/; \n");
    std::string value;
    ASSERT_TRUE(scope.GetCookie("id", value));
    EXPECT_EQ(value, "2");
}

TEST(CookieScope, ExpiresValues) {
    const std::time_t now = 1000000000;
    bool special = false;
    int kind = -1;
    ParseCookieExpires("now", now, special, kind);
    EXPECT_TRUE(special);
    EXPECT_EQ(kind, CCookie::kExpireNow);
    ParseCookieExpires("Never", now, special, kind);
    EXPECT_TRUE(special);
    EXPECT_EQ(kind, CCookie::kExpireNever);
    EXPECT_EQ(ParseCookieExpires(" 5 ", now, special, kind), now + 5 * 86400);
    EXPECT_FALSE(special);
    EXPECT_EQ(ParseCookieExpires("-2.9", now, special, kind), now - 2 * 86400);
    std::time_t date = ParseCookieExpires("4/22/95", now, special, kind);
    std::tm local{};
    localtime_r(&date, &local);
    EXPECT_EQ(local.tm_year, 95);
    EXPECT_EQ(local.tm_mon, 3);
    EXPECT_EQ(local.tm_mday, 22);
    // Beyond 100 years either way a count stays at 100 years.
    EXPECT_EQ(ParseCookieExpires("99999999999", now, special, kind), now + 36525L * 86400);
    EXPECT_EQ(ParseCookieExpires("1e300", now, special, kind), now + 36525L * 86400);
    EXPECT_EQ(ParseCookieExpires("-1e300", now, special, kind), now - 36525L * 86400);
    EXPECT_EQ(ParseCookieExpires("36525", now, special, kind), now + 36525L * 86400);
    for (const char* bad : {"", "soon", "5 days", "nan"}) {
        try {
            ParseCookieExpires(bad, now, special, kind);
            ADD_FAILURE() << bad;
        } catch (CWebException* e) {
            EXPECT_EQ(e->GetMessage(), "Invalid EXPIRES attribute<P>");
            e->Delete();
        }
    }
}

TEST(CookieScope, SpecialExpiries) {
    CCookie cookie;
    std::time_t before = std::time(nullptr);
    cookie.SetExpiresSpecial(CCookie::kExpireNow);
    ASSERT_TRUE(cookie.GetExpires());
    EXPECT_LE(*cookie.GetExpires(), before - 30 * 86400 + 1);
    EXPECT_GE(*cookie.GetExpires(), before - 30 * 86400 - 5);
    cookie.SetExpiresSpecial(CCookie::kExpireNever);
    std::tm local{};
    std::time_t never = *cookie.GetExpires();
    localtime_r(&never, &local);
    EXPECT_EQ(local.tm_year, 137);
    EXPECT_EQ(local.tm_mon, 8);
    EXPECT_EQ(local.tm_mday, 27);
    cookie.SetExpiresSpecial(7);
    EXPECT_EQ(*cookie.GetExpires(), never);
}

TEST(CookieScope, UnsafeNamesPathsAndDomainsAreRefused) {
    const struct {
        const char* name;
        const char* path;
        const char* domain;
        const char* title;
    } cases[] = {
        {"", "", "", "NAME attribute not specified<P>"},
        {"A\r\nB", "", "", "Invalid TSCOOKIE NAME attribute<P>"},
        {"A;B", "", "", "Invalid TSCOOKIE NAME attribute<P>"},
        {"A B", "", "", "Invalid TSCOOKIE NAME attribute<P>"},
        {"A", "/x\nSet-Cookie: y=1", "", "Invalid TSCOOKIE PATH attribute<P>"},
        {"A", "/", "a.com; secure", "Invalid TSCOOKIE DOMAIN attribute<P>"},
        {"A\vB", "", "", "Invalid TSCOOKIE NAME attribute<P>"},
        {"A", "/x\f", "", "Invalid TSCOOKIE PATH attribute<P>"},
        {"A", "/x\xc2\x85", "", "Invalid TSCOOKIE PATH attribute<P>"},
        {"A", "/", "a.com\x85", "Invalid TSCOOKIE DOMAIN attribute<P>"},
        {"A", "/", "a.com\x01", "Invalid TSCOOKIE DOMAIN attribute<P>"},
        {"A", "/", "a.com\t", "Invalid TSCOOKIE DOMAIN attribute<P>"},
    };
    for (const auto& c : cases) {
        CCookie cookie;
        cookie.name = c.name;
        cookie.path = c.path;
        cookie.domain = c.domain;
        try {
            cookie.CheckName();
            ADD_FAILURE() << c.name;
        } catch (CWebException* e) {
            EXPECT_EQ(e->GetMessage(), c.title);
            e->Delete();
        }
    }
    CCookie nul;
    nul.name = "A";
    nul.path = std::string("/x\0y", 4);
    try {
        nul.CheckName();
        ADD_FAILURE() << "a NUL in the path";
    } catch (CWebException* e) {
        EXPECT_EQ(e->GetMessage(), "Invalid TSCOOKIE PATH attribute<P>");
        e->Delete();
    }
    CCookie good;
    good.name = "A_1";
    good.path = "/x";
    EXPECT_NO_THROW(good.CheckName());
}

}  // namespace
