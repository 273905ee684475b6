#include <gtest/gtest.h>

#include "platform/csv_field.h"

using namespace tessaro::platform;

TEST(CsvFieldTest, EscapingKeepsOneFieldOnOneLine) {
    EXPECT_EQ(EscapeCsvField("say \"hi\""), "say \"\"hi\"\"");
    EXPECT_EQ(EscapeCsvField("a\r\nb\nc"), "a  b c");
    EXPECT_EQ(EscapeCsvField(""), "");
}

TEST(CsvFieldTest, SplitsFieldsWithDoubledQuotes) {
    EXPECT_EQ(SplitQuotedCsvLine("\"a\",\"b\"\"c\",\"\""), (std::vector<std::string>{"a", "b\"c", ""}));
    EXPECT_EQ(SplitQuotedCsvLine("\"x,y\",z,"), (std::vector<std::string>{"x,y", "z", ""}));
    std::string line = "\"" + EscapeCsvField("q\"\"r") + "\",\"2\"";
    EXPECT_EQ(SplitQuotedCsvLine(line), (std::vector<std::string>{"q\"\"r", "2"}));
}
