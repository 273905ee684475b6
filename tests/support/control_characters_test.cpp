#include <gtest/gtest.h>

#include <string>

#include "support/control_characters.h"
#include "support/web_exception.h"

namespace {

using namespace std::string_literals;

TEST(ControlCharacters, FoundWhereTheyStandAndNamed) {
    struct Case {
        std::string text;
        std::size_t at;  // npos: none
        const char* name;
    } const cases[] = {
        {"plain text, \"quotes\" & ~ { }", std::string::npos, ""},
        {"a\vb", 1, "VT"},
        {"a\fb", 1, "FF"},
        {"\tx", 0, "TAB"},
        {"x\r", 1, "CR"},
        {"x\n", 1, "LF"},
        {"ab\0c"s, 2, "NUL"},
        {"a\x1b[1m", 1, "ESC"},
        {"a\x1c", 1, "FS"},
        {"a\x7f", 1, "DEL"},
        {"a\xc2\x85z", 1, "NEL"},         // U+0085 in UTF-8
        {"a\x85z", 1, "NEL"},             // NEL as a Latin-1 byte
        {"a\xc2\x91", 1, "U+0091"},       // another C1 control in UTF-8
        {"\xc3\x85ngstr\xc3\xb6m", std::string::npos, ""},  // "Å" ends in the byte 0x85
        {"\xe2\x80\xa6 \xe2\x82\xac \xf0\x9f\x98\x80", std::string::npos, ""},
        {"\xe2\x80\x85", std::string::npos, ""},  // U+2005, a space whose last byte is 0x85
        {"\xe2\x85", 1, "NEL"},           // a cut character: its 0x85 is a byte of its own
        {"\xc2", std::string::npos, ""},  // a lone lead byte is no control
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindControlCharacter(c.text), c.at) << c.text;
        if (c.at != std::string::npos) {
            EXPECT_EQ(ControlCharacterName(c.text, c.at), c.name) << c.text;
        }
    }
}

TEST(ControlCharacters, RefusalNamesTheAttributeAndTheCharacter) {
    EXPECT_NO_THROW(RefuseControlCharacters("/shop", "Invalid TSCOOKIE PATH attribute", "PATH attribute"));
    try {
        RefuseControlCharacters("/shop\v", "Invalid TSCOOKIE PATH attribute", "PATH attribute of the TSCOOKIE tag");
        ADD_FAILURE() << "not refused";
    } catch (CWebException* e) {
        EXPECT_EQ(e->GetMessage(), "Invalid TSCOOKIE PATH attribute<P>");
        EXPECT_EQ(e->GetDetail(),
                  "The PATH attribute of the TSCOOKIE tag holds a control character (VT), which is not allowed "
                  "there.<P>");
        e->Delete();
    }
}

}  // namespace
