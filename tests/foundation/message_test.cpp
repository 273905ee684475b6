#include "foundation/message.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/cstring.h"
#include "foundation/rwexcept.h"

namespace {

TEST(MessageCatalogue, LookupsWithArguments) {
    EXPECT_STREQ(RWMessageText(RWTOOL_INDEX(), 7u, 3u).str(), "[INDEX] Index (7) out of range [0->3]");
    EXPECT_STREQ(RWMessageText(RWTOOL_NEVECL(), 8u, 16u).str(), "[NEVECL] Unequal vector lengths: 8 versus 16");
    EXPECT_STREQ(RWMessageText(RWCORE_OVFLOW(), 3, "abcdef", 9u).str(),
                 "[OVFLOW] Overflow error -> \"abc\" <- (9 max characters)");
    EXPECT_STREQ(RWMessageText(RWCORE_GENERIC(), 42, "detail").str(), "[GENERIC] Generic error number 42; detail");
    EXPECT_STREQ(rwFormatMessage(RWTOOL_BADRE()).str(), "[BADRE] Attempt to use invalid regular expression");
}

TEST(MessageCatalogue, RecordsByNameAndId) {
    struct Case {
        const char* catalogue;
        std::uint32_t id;
        RWMsgId rec;
    } cases[] = {
        {"rwtools7.0", 0x2000, RWTOOL_ALLOCOUT()},  {"rwtools7.0", 0x2010, RWTOOL_SUBSTRING()},
        {"rwtools7.0", 0x2015, RWTOOL_NOPERSIST()}, {"rwcore7.0", 0x1000, RWCORE_EOF()},
        {"rwcore7.0", 0x1005, RWCORE_NOMEM()},      {"rwcore7.0", 0x100a, RWCORE_SYNSTREAM()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rwFindMessage(c.catalogue, c.id), c.rec) << std::hex << c.id;
        EXPECT_EQ(c.rec->id, c.id);
        EXPECT_STREQ(c.rec->catalogue, c.catalogue);
    }
    EXPECT_EQ(rwFindMessage("rwcore7.0", 0x2000), nullptr);
    EXPECT_EQ(rwFindMessage("rwtools7.0", 0x2016), nullptr);
    EXPECT_STREQ(rwMsgText(RWCORE_NOMEM()), "[NOMEM] No memory");
}

TEST(MessageCatalogue, LongMessagesAreFormattedInFull) {
    std::string path(5000, 'p');
    RWMessageText m(RWCORE_OPERR(), path.c_str());
    EXPECT_EQ(std::string(m.str()), "[OPERR] Could not open file " + path);
}

TEST(MessageText, CopiesOwnTheirText) {
    RWMessageText a("first");
    RWMessageText b(a);
    EXPECT_NE(a.str(), b.str());
    b = RWMessageText("second");
    EXPECT_STREQ(a.str(), "first");
    EXPECT_STREQ(b.str(), "second");
    b = b;
    EXPECT_STREQ(b.str(), "second");
}

TEST(Exceptions, Hierarchy) {
    try {
        RWCString s("abc");
        s(1, 5);
        FAIL();
    } catch (const RWInternalErr& e) {
        EXPECT_STREQ(e.why(), "[SUBSTRING] Illegal substring (1, 5) from 3 element RWCString");
    }
    EXPECT_THROW(throwError(RWBoundsErr("b")), RWxmsg);
    EXPECT_THROW(throwError(RWFileErr("f", 1, 2)), RWExternalErr);
    EXPECT_THROW(throwError(RWStreamErr("s", nullptr)), RWExternalErr);
    EXPECT_THROW(throwError(RWxalloc(10)), RWxmsg);
    EXPECT_THROW(RWInternalErr("x").raise(), RWxmsg);
    try {
        throwError(RWFileErr(RWMessageText("file"), 3, 4));
    } catch (const RWFileErr& e) {
        EXPECT_EQ(e.value1(), 3u);
        EXPECT_EQ(e.value2(), 4u);
        EXPECT_STREQ(e.what(), "file");
    }
}

TEST(Exceptions, AllocCarriesStaticText) {
    const char* text = nullptr;
    {
        RWxalloc a(1234);
        RWxalloc copy(a);
        EXPECT_EQ(copy.why(), a.why());
        EXPECT_FALSE(copy.ownsText());
        EXPECT_EQ(copy.requested(), 1234u);
        text = a.why();
    }
    EXPECT_STREQ(text, "[NOMEM] No memory");  // destroying the copies freed nothing
    EXPECT_EQ(text, rwMsgText(RWCORE_NOMEM()));
}

TEST(Exceptions, OwnedTextIsDuplicated) {
    RWxmsg a("owned");
    RWxmsg b(a);
    EXPECT_NE(a.why(), b.why());
    EXPECT_STREQ(b.why(), "owned");
    b = RWxmsg("other", false);
    EXPECT_FALSE(b.ownsText());
    EXPECT_STREQ(b.why(), "other");
}

TEST(Exceptions, PlainTextThrowIsWrapped) {
    try {
        rwGuardPlainText([]() -> int { throw "unmatched delimiter"; });
        FAIL();
    } catch (const RWInternalErr& e) {
        EXPECT_STREQ(e.why(), "unmatched delimiter");
    }
    EXPECT_EQ(rwGuardPlainText([] { return 5; }), 5);
}

void quietHandler(const RWxmsg&) {}

TEST(FatalHandler, SetReturnsPrevious) {
    rwfatalhandler original = setFatalHandler(quietHandler);
    EXPECT_NE(original, nullptr);
    EXPECT_EQ(setFatalHandler(original), quietHandler);
}

TEST(FatalHandlerDeath, DefaultExitsWithOne) {
    EXPECT_EXIT(rwFatal(RWxmsg("boom")), testing::ExitedWithCode(1), "Fatal Error: boom");
}

}  // namespace
