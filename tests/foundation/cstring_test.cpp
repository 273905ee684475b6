#include "foundation/cstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "foundation/rwexcept.h"

namespace {

std::string str(const RWCString& s) {
    return std::string(s.data(), s.length());
}

std::string boundsMessage(auto&& f) {
    try {
        f();
    } catch (const RWBoundsErr& e) {
        return e.why();
    }
    return "(no exception)";
}

TEST(CStringRep, CapacityRule) {
    struct Case {
        std::size_t n, cap;
    } cases[] = {{0, 15}, {1, 15}, {15, 15}, {16, 31}, {31, 31}, {32, 47}, {47, 47}, {48, 63}};
    for (const auto& c : cases) EXPECT_EQ(RWCString::capacityFor(c.n), c.cap) << c.n;
}

TEST(CStringRep, EmptyStringsAndTheSharedRepresentation) {
    RWCString a, b;
    EXPECT_TRUE(a.sharesEmptyRep());
    EXPECT_EQ(a.data(), b.data());
    RWCString lit("");
    EXPECT_FALSE(lit.sharesEmptyRep());
    EXPECT_EQ(lit.capacity(), 0u);
    EXPECT_EQ(lit.length(), 0u);
    EXPECT_EQ(lit.data()[0], '\0');
}

TEST(CStringRep, LengthWordPrecedesCharacters) {
    RWCString s("hello world");
    std::uint32_t len = 0, cap = 0;
    std::memcpy(&len, s.data() - 4, 4);
    std::memcpy(&cap, s.data() - 8, 4);
    EXPECT_EQ(len, 11u);
    EXPECT_EQ(cap, 11u);
}

TEST(CStringRep, AssignEmptyKeepsSoleRepButDropsShared) {
    RWCString s("abc");
    const char* before = s.data();
    s = "";
    EXPECT_EQ(s.data(), before);
    EXPECT_EQ(s.length(), 0u);
    EXPECT_FALSE(s.sharesEmptyRep());

    RWCString t("abc");
    RWCString u(t);
    t = "";
    EXPECT_TRUE(t.sharesEmptyRep());
    EXPECT_EQ(str(u), "abc");
}

TEST(CStringRep, CopyOnWrite) {
    RWCString a("shared");
    RWCString b(a);
    EXPECT_EQ(a.data(), b.data());
    b[0] = 'S';
    EXPECT_NE(a.data(), b.data());
    EXPECT_EQ(str(a), "shared");
    EXPECT_EQ(str(b), "Shared");
}

TEST(CStringReplace, ShrinkReallocatesOnlyPastMaxWaste) {
    RWCString s;
    s.append(std::string(40, 'x').c_str());
    ASSERT_EQ(s.capacity(), 47u);
    RWCString t(s.copy());
    t.append("");  // sole holder with capacity 40
    s.remove(20);
    EXPECT_EQ(s.capacity(), 31u);
    RWCString v;
    v.append(std::string(40, 'x').c_str());
    v.remove(35);
    EXPECT_EQ(v.capacity(), 47u);
    EXPECT_EQ(v.length(), 35u);
}

TEST(CStringReplace, FromOwnBytesMatchesReplaceFromCopy) {
    struct Case {
        std::size_t pos, n1, from, n2;
    } cases[] = {{0, 3, 2, 4}, {2, 1, 0, 6}, {5, 0, 1, 3}, {0, 8, 0, 8}, {3, 5, 3, 2}};
    for (const auto& c : cases) {
        RWCString self("abcdefgh");
        RWCString copy("abcdefgh");
        RWCString source(copy.data() + c.from, c.n2);
        self.replace(c.pos, c.n1, self.data() + c.from, c.n2);
        copy.replace(c.pos, c.n1, source.data(), c.n2);
        EXPECT_EQ(str(self), str(copy)) << c.pos << "," << c.n1 << "," << c.from << "," << c.n2;
    }
}

TEST(CStringReplace, EditsAndBounds) {
    RWCString s("hello");
    s.append(" world").prepend(">> ").insert(3, "[", 1);
    EXPECT_EQ(str(s), ">> [hello world");
    s.replace(0, 4, "");
    EXPECT_EQ(str(s), "hello world");
    s.remove(5);
    EXPECT_EQ(str(s), "hello");
    s.resize(8);
    EXPECT_EQ(str(s), "hello   ");
    s.resize(2);
    EXPECT_EQ(str(s), "he");
    s.append('!', 3);
    EXPECT_EQ(str(s), "he!!!");
    s.prepend('-', 2);
    EXPECT_EQ(str(s), "--he!!!");
    EXPECT_THROW(s.replace(99, 1, "x"), RWBoundsErr);
    EXPECT_EQ(str(s), "--he!!!");
}

TEST(CStringReplace, EmbeddedNulsSurvive) {
    RWCString s("a\0b", 3);
    s.append(RWCString("\0c", 2));
    ASSERT_EQ(s.length(), 5u);
    EXPECT_EQ(std::memcmp(s.data(), "a\0b\0c", 5), 0);
    EXPECT_EQ(s.data()[5], '\0');
}

TEST(CStringCompare, Table) {
    struct Case {
        const char *a, *b;
        RWCString::caseCompare cmp;
        int expected;
    } cases[] = {
        {"ab", "abc", RWCString::exact, -1},
        {"abcd", "abc", RWCString::exact, 1},
        {"abc", "abc", RWCString::exact, 0},
        {"abd", "abc", RWCString::exact, 1},
        {"ABC", "abc", RWCString::exact, -1},
        {"ABC", "abc", RWCString::ignoreCase, 0},
        {"ABd", "abc", RWCString::ignoreCase, 1},
        {"", "", RWCString::exact, 0},
        {"", "a", RWCString::exact, -1},
        {"\x80", "a", RWCString::exact, -1},
        {"\xC9", "\xE9", RWCString::ignoreCase, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(RWCString(c.a).compareTo(c.b, c.cmp), c.expected) << c.a << " vs " << c.b;
}

TEST(CStringCompare, StringFormUsesUnsignedBytes) {
    // The string-to-string form orders bytes unsigned (memcmp), the text form signed.
    RWCString hi("\x80");
    EXPECT_GT(hi.compareTo(RWCString("a")), 0);
    EXPECT_LT(hi.compareTo("a"), 0);
    EXPECT_LT(RWCString("ab").compareTo(RWCString("abc")), 0);
    EXPECT_EQ(RWCString("Ab").compareTo(RWCString("aB"), RWCString::ignoreCase), 0);
}

TEST(CStringSearch, IndexTable) {
    struct Case {
        const char* text;
        const char* pat;
        std::size_t start;
        RWCString::caseCompare cmp;
        std::size_t expected;
    } cases[] = {
        {"hello world", "o", 0, RWCString::exact, 4},
        {"hello world", "o", 5, RWCString::exact, 7},
        {"hello world", "WORLD", 0, RWCString::ignoreCase, 6},
        {"hello world", "WORLD", 0, RWCString::exact, RW_NPOS},
        {"abc", "", 3, RWCString::exact, 3},
        {"abc", "", 4, RWCString::exact, RW_NPOS},
        {"abc", "bcd", 1, RWCString::exact, RW_NPOS},
        {"abc", "c", RW_NPOS, RWCString::exact, RW_NPOS},
        {"aaab", "aab", 0, RWCString::exact, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(RWCString(c.text).index(c.pat, c.start, c.cmp), c.expected) << c.text;
}

TEST(CStringSearch, FirstLastAndContains) {
    RWCString s("a,b;c\0,z", 8);
    EXPECT_EQ(s.first(','), 1u);
    EXPECT_EQ(s.first('z'), RW_NPOS);         // stops at the NUL
    EXPECT_EQ(s.first('z', s.length()), 7u);  // within the length
    EXPECT_EQ(s.first(";,"), 1u);
    EXPECT_EQ(s.first("z\0", 2), 5u);  // the NUL byte is in the set
    EXPECT_EQ(s.last(','), 1u);
    EXPECT_EQ(s.last(',', s.length()), 6u);
    EXPECT_TRUE(RWCString("Hello").contains("ELL", RWCString::ignoreCase));
    EXPECT_FALSE(RWCString("Hello").contains("ELL"));
}

TEST(CStringHash, KnownValues) {
    EXPECT_EQ(RWCString("").hash(), 0u);
    EXPECT_EQ(RWCString("a").hash(), 0x41u);
    EXPECT_EQ(RWCString("abcd").hash(), 0x646362E1u);
    EXPECT_EQ(RWCString("Hello").hash(RWCString::ignoreCase), RWCString("hELLO").hash(RWCString::ignoreCase));
    EXPECT_NE(RWCString("Hello").hash(), RWCString("hELLO").hash());
}

TEST(CStringCase, ConversionUsesFixedTable) {
    RWCString s("Mixed \xC9t\xE9 \x8A\x9A 123");
    RWCString lower = toLower(s);
    RWCString upper = toUpper(s);
    EXPECT_EQ(str(lower), "mixed \xE9t\xE9 \x9A\x9A 123");
    EXPECT_EQ(str(upper), "MIXED \xC9T\xC9 \x8A\x8A 123");
    EXPECT_EQ(str(s), "Mixed \xC9t\xE9 \x8A\x9A 123");
    RWCString t("\xD7\xF7");  // multiplication and division signs are not letters
    t.toUpper();
    EXPECT_EQ(str(t), "\xD7\xF7");
}

TEST(CStringErrors, BoundsMessages) {
    RWCString s("abc");
    EXPECT_EQ(boundsMessage([&] { s[5]; }), "[INDEXERR] Illegal Index (5) for collection or string with 3 elements");
    EXPECT_EQ(boundsMessage([&] { s[RW_NPOS]; }), "[NPOSINDEX] The value RW_NPOS cannot be used as an index.");
    EXPECT_EQ(boundsMessage([&] { s(RW_NPOS, 1); }), "[SUBSTRING] Illegal substring (-1, 1) from 3 element RWCString");
    EXPECT_EQ(boundsMessage([&] { s(2, 2); }), "[SUBSTRING] Illegal substring (2, 2) from 3 element RWCString");
    EXPECT_NO_THROW(s(RW_NPOS, 0));
    EXPECT_NO_THROW(s(3, 0));
}

TEST(CSubString, AssignmentReplacesTheRange) {
    struct Case {
        std::size_t start, extent;
        const char* with;
        const char* expected;
    } cases[] = {
        {0, 0, ">", ">abcdef"}, {1, 2, "XYZ", "aXYZdef"}, {6, 0, "!", "abcdef!"}, {0, 6, "", ""}, {2, 1, "", "abdef"},
    };
    for (const auto& c : cases) {
        RWCString s("abcdef");
        RWCSubString sub = s(c.start, c.extent);
        sub = c.with;
        EXPECT_EQ(str(s), c.expected);
        EXPECT_EQ(sub.length(), std::strlen(c.with));
    }
}

TEST(CSubString, NullSubstringIgnoresAssignment) {
    RWCString s("abc");
    RWCSubString sub = s.subString("zz");
    EXPECT_TRUE(sub.isNull());
    sub = "xyz";
    EXPECT_EQ(str(s), "abc");
    EXPECT_TRUE(sub == "");
    EXPECT_TRUE(sub == RWCString());
}

TEST(CSubString, AssignFromOwnParent) {
    RWCString s("hello world");
    s(0, 5) = s(6, 5);
    EXPECT_EQ(str(s), "world world");
}

TEST(CSubString, ComparisonsAndCase) {
    RWCString s("Hello World");
    EXPECT_TRUE(s(6, 5) == "World");
    EXPECT_FALSE(s(6, 5) == "Worl");
    EXPECT_TRUE(s(0, 5) == RWCString("Hello"));
    EXPECT_FALSE(s(0, 1) == s(6, 0));
    RWCString shared(s);
    s(0, 5).toUpper();
    EXPECT_EQ(str(s), "HELLO World");
    EXPECT_EQ(str(shared), "Hello World");
    EXPECT_EQ(str(RWCString(s(6, 5))), "World");
}

TEST(CStringStrip, Table) {
    struct Case {
        const char* text;
        RWCString::stripType where;
        char c;
        const char* expected;
        bool null;
    } cases[] = {
        {"  ab  ", RWCString::leading, ' ', "ab  ", false}, {"  ab  ", RWCString::trailing, ' ', "  ab", false},
        {"  ab  ", RWCString::both, ' ', "ab", false},      {"xxabxx", RWCString::both, 'x', "ab", false},
        {"    ", RWCString::both, ' ', "", true},           {"", RWCString::both, ' ', "", true},
    };
    for (const auto& c : cases) {
        RWCString s(c.text);
        RWCSubString sub = s.strip(c.where, c.c);
        EXPECT_EQ(sub.isNull(), c.null) << c.text;
        EXPECT_EQ(str(RWCString(sub)), c.expected) << c.text;
    }
}

TEST(CStringConcat, Operators) {
    RWCString a("foo");
    EXPECT_EQ(str(a + "bar"), "foobar");
    EXPECT_EQ(str("bar" + a), "barfoo");
    EXPECT_EQ(str(a + a), "foofoo");
    EXPECT_EQ(str(RWCString(nullptr, 5, "x", 1)), "x");
    EXPECT_TRUE(a == "foo");
    EXPECT_TRUE(a != "fo");
    EXPECT_TRUE(RWCString("a") < RWCString("b"));
}

TEST(CStringMisc, AsciiMbLengthCollate) {
    EXPECT_TRUE(RWCString("plain").isAscii());
    EXPECT_FALSE(RWCString("caf\xE9").isAscii());
    EXPECT_EQ(RWCString("abc").mbLength(), 3u);
    EXPECT_EQ(RWCString("ab\0cd", 5).mbLength(), 2u);
    EXPECT_LT(RWCString("abc").collate("abd"), 0);
    EXPECT_EQ(RWCString("abc").collate("abc"), 0);
    RWCString k1 = strXForm(RWCString("abc"));
    RWCString k2 = strXForm(RWCString("abd"));
    EXPECT_LT(k1.compareTo(k2), 0);
}

TEST(CStringCapacity, SetCapacity) {
    RWCString s("abc");
    EXPECT_EQ(s.capacity(100), 100u);
    EXPECT_EQ(str(s), "abc");
    EXPECT_EQ(s.capacity(2), 100u);  // never below the length; unchanged
}

TEST(CStringSettings, SettersReturnPrevious) {
    std::size_t old = RWCString::maxWaste(20);
    EXPECT_EQ(old, 15u);
    EXPECT_EQ(RWCString::maxWaste(old), 20u);
    EXPECT_EQ(RWCString::initialCapacity(), 15u);
    EXPECT_EQ(RWCString::resizeIncrement(), 16u);
}

TEST(CStringLimits, HugeLengthsAreRefused) {
    EXPECT_THROW(RWCString::capacityFor(RWCString::maxLength() + 1), RWxalloc);
    RWCString s("x");
    EXPECT_THROW(s.append('y', RWCString::maxLength()), RWxalloc);
    EXPECT_EQ(str(s), "x");
}

TEST(CStringDeath, NullPointersAssert) {
    EXPECT_DEATH(RWCString(static_cast<const char*>(nullptr)), "Assertion failed");
    RWCString s("abc");
    EXPECT_DEATH(s.compareTo(static_cast<const char*>(nullptr)), "nil pointer");
}

// ---------------------------------------------------------------- stream I/O

TEST(CStringIO, ReadLine) {
    std::istringstream in("abc\n\n  def\nlast");
    RWCString s;
    s.readLine(in, false);
    EXPECT_EQ(str(s), "abc");
    s.readLine(in, false);
    EXPECT_EQ(str(s), "");
    s.readLine(in);  // skips the leading blanks
    EXPECT_EQ(str(s), "def");
    EXPECT_TRUE(in.good());
    s.readLine(in, false);
    EXPECT_EQ(str(s), "last");
    EXPECT_TRUE(in.eof());
    EXPECT_FALSE(in.fail());
    s.readLine(in, false);
    EXPECT_TRUE(in.fail());
}

TEST(CStringIO, ReadStringAndFile) {
    std::string data("one\0two", 7);
    std::istringstream in(data);
    RWCString s;
    s.readString(in);
    EXPECT_EQ(str(s), "one");
    s.readString(in);
    EXPECT_EQ(str(s), "two");

    std::string big(1000, 'q');
    big[500] = '\0';
    std::istringstream file(big);
    RWCString f;
    f.readFile(file);
    EXPECT_EQ(str(f), big);
    EXPECT_LE(f.capacity() - f.length(), RWCString::maxWaste());
}

TEST(CStringIO, ReadTokenAndWidth) {
    std::istringstream in("  alpha\tbeta  gammadelta");
    RWCString s;
    in >> s;
    EXPECT_EQ(str(s), "alpha");
    EXPECT_EQ(in.peek(), '\t');
    s.readToken(in);
    EXPECT_EQ(str(s), "beta");
    in.width(5);
    in >> s;
    EXPECT_EQ(str(s), "gamma");
    EXPECT_EQ(in.width(), 0);
    in >> s;
    EXPECT_EQ(str(s), "delta");
}

TEST(CStringIO, OutputPadding) {
    RWCString s("abc");
    std::ostringstream right, left, plain;
    right.width(6);
    right.fill('*');
    right << s;
    EXPECT_EQ(right.str(), "***abc");
    left.width(6);
    left.fill('*');
    left.setf(std::ios::left, std::ios::adjustfield);
    left << s << s;
    EXPECT_EQ(left.str(), "abc***abc");
    plain << RWCString("a\0b", 3);
    EXPECT_EQ(plain.str(), std::string("a\0b", 3));
}

}  // namespace
