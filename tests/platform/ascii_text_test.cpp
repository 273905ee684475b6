// ASCII case and blanks: A-Z and a-z fold, every other byte (UTF-8 text, Latin-1 letters)
// stays as it is whatever locale the process runs in.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/ascii_text.h"

namespace {

using namespace tessaro::platform;

// Sets a locale whose toupper folds the Latin-1 letters, when the machine has one.
class AnyLocale : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = std::setlocale(LC_CTYPE, nullptr);
        for (const char* name : {"en_US.ISO-8859-1", "de_DE.ISO-8859-1", "C.UTF-8", "en_US.UTF-8"})
            if (std::setlocale(LC_CTYPE, name) != nullptr) break;
    }
    void TearDown() override { std::setlocale(LC_CTYPE, saved_.c_str()); }
    std::string saved_;
};

TEST_F(AnyLocale, CaseFoldsOnlyTheAsciiLetters) {
    struct Case {
        std::string text, upper, lower;
    } const cases[] = {
        {"Server\\MaxBodyBytes", "SERVER\\MAXBODYBYTES", "server\\maxbodybytes"},
        {"caf\xc3\xa9 \xe9\xe0", "CAF\xc3\xa9 \xe9\xe0", "caf\xc3\xa9 \xe9\xe0"},
        {"@[`{09", "@[`{09", "@[`{09"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpperAscii(c.text), c.upper) << c.text;
        EXPECT_EQ(LowerAscii(c.text), c.lower) << c.text;
        EXPECT_TRUE(EqualsNoCase(c.upper, c.lower)) << c.text;
    }
    EXPECT_FALSE(EqualsNoCase("\xe9", "\xc9"));  // Latin-1 e-acute and E-acute are different bytes
    EXPECT_FALSE(EqualsNoCase("Server", "Servers"));
    EXPECT_FALSE(EqualsNoCase("[", "{"));
}

TEST(AsciiText, TrimTakesOnlyTheNamedBlanksAtTheEnds) {
    EXPECT_EQ(TrimAscii(" \t\r\n\v\fa b\f\v\n\r\t "), "a b");
    EXPECT_EQ(TrimAscii(" \r\n \v", " \r\n"), "\v");
    EXPECT_EQ(TrimAscii("   "), "");
    EXPECT_EQ(TrimAscii(""), "");
    EXPECT_EQ(TrimAscii("\xa0x\xa0"), "\xa0x\xa0");  // a no-break space is not a blank
    EXPECT_EQ(TrimAsciiRight("  a  "), "  a");
    EXPECT_EQ(TrimAsciiRight("a \t", " "), "a \t");
    EXPECT_EQ(TrimAsciiRight("    ", " "), "");
}

}  // namespace
