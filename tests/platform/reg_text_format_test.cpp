#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/reg_text_format.h"
#include "platform/win32_error.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

std::string Dword(std::uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
}

}  // namespace

TEST(RegTextFormatTest, ValuesAreWrittenByType) {
    struct Case {
        std::uint32_t type;
        std::string data;
        std::string text;
    } cases[] = {
        {REG_SZ, "plain", "\"plain\""},
        {REG_SZ, "a \"b\" c\\d\r\n", "\"a \\\"b\\\" c\\\\d\\r\\n\""},
        {REG_SZ, "", "\"\""},
        {REG_DWORD, Dword(0xdeadbeef), "dword:deadbeef"},
        {REG_DWORD, Dword(15), "dword:0000000f"},
        {REG_DWORD, "abc", "hex:61,62,63"},  // a dword of the wrong size keeps its bytes
        {REG_BINARY, std::string("\x01\xff\x00", 3), "hex:01,ff,00"},
        {REG_BINARY, "", "hex:"},
    };
    for (const Case& c : cases) EXPECT_EQ(RegValueDataText(c.type, c.data), c.text) << c.text;
    EXPECT_EQ(RegValueNameText(""), "@");
    EXPECT_EQ(RegValueNameText("Max\"Requests"), "\"Max\\\"Requests\"");
}

TEST(RegTextFormatTest, WrittenValuesReadBackUnchanged) {
    struct Case {
        std::uint32_t type;
        std::string data;
    } cases[] = {
        {REG_SZ, "a \"b\" c\\d\r\nend"},
        {REG_SZ, ""},
        {REG_DWORD, Dword(0)},
        {REG_DWORD, Dword(0xffffffff)},
        {REG_BINARY, std::string("\x00\x7f\x80", 3)},
        {REG_BINARY, ""},
    };
    for (const Case& c : cases) {
        std::uint32_t type = 0;
        std::string data = "stale";
        ASSERT_TRUE(ParseRegValueData(RegValueDataText(c.type, c.data), &type, &data));
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(data, c.data);
    }
}

TEST(RegTextFormatTest, MalformedDataIsRefused) {
    for (const char* spec : {"", "\"unterminated", "\"text\" trailing", "dword:", "dword:123456789", "dword:12zz",
                             "hex:1,xyz", "hex:123", "string", "\"ends in escape\\"}) {
        std::uint32_t type = 0;
        std::string data;
        EXPECT_FALSE(ParseRegValueData(spec, &type, &data)) << spec;
    }
}

TEST(RegTextFormatTest, LinesAreClassified) {
    using Kind = RegTextLine::Kind;
    struct Case {
        std::string line;
        Kind kind;
        std::string key;
        std::string name;
        std::string data;
    } cases[] = {
        {"", Kind::Blank, "", "", ""},
        {"   \t", Kind::Blank, "", "", ""},
        {"; comment", Kind::Blank, "", "", ""},
        {"  # comment", Kind::Blank, "", "", ""},
        {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r", Kind::Key, "HKEY_LOCAL_MACHINE\\SOFTWARE\\X", "", ""},
        {"  [K] trailing", Kind::Key, "K", "", ""},
        {"[]", Kind::BadKey, "", "", ""},
        {"[unclosed", Kind::BadKey, "", "", ""},
        {"\"Name\"=\"value\"\r", Kind::Value, "", "Name", "value"},
        {"@=\"default\"", Kind::Value, "", "", "default"},
        {"\"Esc\\\"aped\"=\"v\"", Kind::Value, "", "Esc\"aped", "v"},
        {"Name=\"value\"", Kind::BadValueName, "", "", ""},
        {"\"Name\"", Kind::BadValue, "", "", ""},
        {"\"Name\"=bogus", Kind::BadValue, "", "", ""},
        {"\"Name\" = \"value\"", Kind::BadValue, "", "", ""},
    };
    for (const Case& c : cases) {
        RegTextLine line = ParseRegTextLine(c.line);
        EXPECT_EQ(line.kind, c.kind) << c.line;
        EXPECT_EQ(line.key, c.key) << c.line;
        if (c.kind == Kind::Value) {
            EXPECT_EQ(line.name, c.name) << c.line;
            EXPECT_EQ(line.data, c.data) << c.line;
            EXPECT_EQ(line.type, REG_SZ) << c.line;
        }
    }
    EXPECT_STREQ(RegTextLineError(Kind::BadKey), "bad key line");
    EXPECT_STREQ(RegTextLineError(Kind::BadValueName), "bad value name");
    EXPECT_STREQ(RegTextLineError(Kind::BadValue), "bad value line");
    EXPECT_STREQ(RegTextLineError(Kind::Value), "");
}

class RegTextExportTest : public TempHomeTest {};

TEST_F(RegTextExportTest, ExportWritesValuesThenSubkeysDepthFirst) {
    HKEY top = nullptr, child = nullptr, grandchild = nullptr;
    ASSERT_EQ(RegCreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Export", &top), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKey(top, "Child", &child), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKey(child, "Grand", &grandchild), ERROR_SUCCESS);
    RegSetString(top, "", "default");
    RegSetString(top, "Quote", "a\"b");
    RegSetValue(child, "Flags", REG_DWORD, Dword(10));
    std::ostringstream out;
    EXPECT_EQ(ExportRegText(top, out), ERROR_SUCCESS);
    EXPECT_EQ(out.str(),
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Export]\n"
              "@=\"default\"\n"
              "\"Quote\"=\"a\\\"b\"\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Export\\Child]\n"
              "\"Flags\"=dword:0000000a\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Export\\Child\\Grand]\n"
              "\n");
    for (HKEY key : {grandchild, child, top}) RegCloseKey(key);
}
