#include "gateway/environment_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

std::string Build(std::vector<const char*> entries) {
    entries.push_back(nullptr);
    return ksml::BuildEnvironmentBlock(entries.data());
}

struct BlockCase {
    const char* name;
    std::vector<const char*> environment;
    std::string expected;
};

class EnvironmentBlockTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(EnvironmentBlockTest, BuildsEntriesInOrder) {
    EXPECT_EQ(Build(GetParam().environment), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnvironmentBlockTest,
    ::testing::Values(
        BlockCase{"Empty", {}, "\0"s}, BlockCase{"PlainEntries", {"A=1", "B=two"}, "A=1\0B=two\0\0"s},
        BlockCase{"EntryWithoutEquals", {"FLAG", "X=1"}, "FLAG=\0X=1\0\0"s},
        BlockCase{"ValueKeepsLaterEquals", {"QUERY_STRING=a=1&b=2"}, "QUERY_STRING=a=1&b=2\0\0"s},
        BlockCase{
            "TemplateScript", {"SCRIPT_NAME=/app/x.tsm", "Z=1"}, "SCRIPT_NAME=/app/x.tsm\0TS_TEMPLATE_PATH=\0Z=1\0\0"s},
        BlockCase{"UpperCaseExtension", {"SCRIPT_NAME=/X.KSM/more"}, "SCRIPT_NAME=/X.KSM/more\0TS_TEMPLATE_PATH=\0\0"s},
        BlockCase{"AnyOtherScript", {"SCRIPT_NAME=/cgi-bin/ksml"}, "SCRIPT_NAME=/cgi-bin/ksml\0TS_TEMPLATE_PATH=\0\0"s},
        BlockCase{"EmptyScript", {"SCRIPT_NAME=", "A=1"}, "SCRIPT_NAME=\0A=1\0\0"s},
        BlockCase{"ScriptNameIsCaseSensitive", {"script_name=/x.tsm"}, "script_name=/x.tsm\0\0"s}),
    [](const ::testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.name); });

TEST(EnvironmentBlock, LongEntriesStayWhole) {
    std::string query = "QUERY_STRING=" + std::string(5000, 'q') + "TS_TEMPLATE_PATH=/etc/passwd";
    std::string block = Build({query.c_str()});
    EXPECT_EQ(block, query + "\0\0"s);
}

TEST(EnvironmentBlock, AppendEntryAddsItsNul) {
    std::string block = "A=1\0"s;
    ksml::AppendEnvironmentEntry(block, "B", "");
    EXPECT_EQ(block, "A=1\0B=\0"s);
}

}  // namespace
