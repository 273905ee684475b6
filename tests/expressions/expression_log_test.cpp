// The evaluator's error log: lines of category "ExprParser" in the trace log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "engine/expressions/expression_log.h"
#include "engine/expressions/operators.h"
#include "support/registry.h"
#include "tests/common/file_text.h"
#include "tests/expressions/expression_test_support.h"

namespace {

TEST(ExpressionLog, InternalFaultsAreWrittenToTheExprParserLog) {
    const std::string folder = std::string(std::getenv("TESSARO_HOME")) + "/logs";
    std::filesystem::create_directories(folder);
    {
        auto root = OpenTessaroRootKey();
        CRegistrySettings(root.get()).Set("Logging", "LogFilePath", folder);
    }
    COperatorManager manager;
    exprtest::Catch([&] { manager.CheckOp(24); });
    std::ifstream log(folder + "/ExprParser.LOG");
    ASSERT_TRUE(log.good());
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_TRUE(std::regex_search(
        text.str(),
        std::regex(
            R"re(^"COperatorManager::CheckOp","TID=\d+","\d\d/\d\d/\d\d","\d\d:\d\d:\d\d","Invalid operator number 24"\n)re")))
        << text.str();
    // Author's errors are not logged.
    exprtest::EvalFailure("1 / 0");
    EXPECT_EQ(tessaro::test::ReadFileText(folder + "/ExprParser.LOG"), text.str());
}

}  // namespace
