#include "database/odbc/odbc_base.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// An object without driver handles: each further record fetch answers from a script.
class ScriptedObject : public odbcBASE {
public:
    std::vector<short> answers;
    int fetches = 0;
    short RegisterError() override {
        ++fetches;
        if (answers.empty()) return SQL_NO_DATA_FOUND;
        short rc = answers.front();
        answers.erase(answers.begin());
        return rc;
    }
    using odbcBASE::SetRC;
};

struct HandlerLog {
    static inline std::vector<std::string> states;
    static inline std::vector<short> codes;
    static void Handle(short rc, unsigned char* state, long, unsigned char* msg, odbcBASE*) {
        codes.push_back(rc);
        states.push_back(std::string(reinterpret_cast<char*>(state)) + "|" + reinterpret_cast<char*>(msg));
    }
    static void Reset() {
        states.clear();
        codes.clear();
    }
};

struct ReporterLog {
    static inline std::vector<std::string> calls;
    static int Report(odbcHWND, const char* text, const char* caption, unsigned short flags) {
        calls.push_back(std::string(caption) + "|" + text + "|" + std::to_string(flags));
        return 7;
    }
};

const char* Text(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}

TEST(OdbcBase, StartsSuccessfulWithRetrieveOnAndReportOff) {
    ScriptedObject o;
    EXPECT_EQ(o.lastRC(), 0);
    EXPECT_EQ(o.sqlsuccess(), 1);
    EXPECT_STREQ(Text(o.ErrMsg()), "");
    EXPECT_STREQ(Text(o.SqlState()), "");
    EXPECT_EQ(o.GetAutoRetrieve(), 1);
    EXPECT_EQ(o.GetAutoReport(), 0);
    EXPECT_EQ(o.GetMBoxFlags(), 0x40);
    EXPECT_EQ(o.GetWnd(), nullptr);
    EXPECT_EQ(o.ReportReturned(), 0);
}

struct LibraryCodeCase {
    short code;
    short retrieve;
    short lastRC;
    const char* state;
    long native;
    const char* text;
};

class OdbcBaseLibraryCodes : public ::testing::TestWithParam<LibraryCodeCase> {};

TEST_P(OdbcBaseLibraryCodes, SetRCTranslatesPerPolicy) {
    const LibraryCodeCase& c = GetParam();
    ScriptedObject o;
    o.AutoRetrieve(c.retrieve);
    o.SetRC(c.code);
    EXPECT_EQ(o.lastRC(), c.lastRC);
    EXPECT_STREQ(Text(o.SqlState()), c.state);
    EXPECT_EQ(o.NativeError(), c.native);
    EXPECT_STREQ(Text(o.ErrMsg()), c.text);
    EXPECT_EQ(o.fetches, 0);  // nothing is fetched from the driver manager
}

INSTANTIATE_TEST_SUITE_P(
    Table, OdbcBaseLibraryCodes,
    ::testing::Values(LibraryCodeCase{-1000, 1, -1, "S1001", 0, "[Quorvex][VRM]Memory allocation error."},
                      LibraryCodeCase{-1001, 1, 1, "S1000", 0, "[Quorvex][VRM]Buffer too small."},
                      LibraryCodeCase{-1001, 2, 1, "S1000", 0, "[Quorvex][VRM]Buffer too small."},
                      LibraryCodeCase{-1005, 0, -1005, "", -1005, ""},
                      LibraryCodeCase{-1021, 1, -1, "S1000", 0, "[Quorvex][VRM]Data entry formatting error."},
                      LibraryCodeCase{-1024, 1, -1, "S1000", 0, "[Quorvex][VRM]WHERE clause append operation failed."},
                      LibraryCodeCase{-1025, 1, -1025, "", 0, ""}, LibraryCodeCase{2, 1, 2, "", 0, ""}));

TEST(OdbcBase, SuccessWithInfoIsFetchedOnlyInRetrieveMode2) {
    ScriptedObject o;
    o.SetRC(SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(o.fetches, 0);
    EXPECT_EQ(o.sqlsuccess(), 1);
    o.AutoRetrieve(2);
    o.SetRC(SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(o.fetches, 1);
    o.SetRC(SQL_ERROR);
    EXPECT_EQ(o.fetches, 2);
    EXPECT_EQ(o.sqlsuccess(), 0);
}

TEST(OdbcBase, ReportMode1DoesNotReportWarnings) {
    HandlerLog::Reset();
    ScriptedObject o;
    o.AutoRetrieve(2);
    o.AutoReport(1);
    o.SetErrHandler(HandlerLog::Handle);
    o.SetRC(SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(o.fetches, 1);
    EXPECT_TRUE(HandlerLog::codes.empty());
    o.SetRC(SQL_ERROR);
    ASSERT_EQ(HandlerLog::codes.size(), 1u);
    EXPECT_EQ(HandlerLog::codes[0], SQL_ERROR);
}

TEST(OdbcBase, HandlerIsCalledOncePerRecord) {
    HandlerLog::Reset();
    ScriptedObject o;
    o.AutoReport(2);
    o.SetErrHandler(HandlerLog::Handle);
    o.answers = {SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS, SQL_NO_DATA_FOUND};  // three records
    o.SetRC(SQL_ERROR);
    EXPECT_EQ(HandlerLog::codes.size(), 3u);
    EXPECT_EQ(o.lastRC(), SQL_ERROR);  // reporting never changes the stored code
}

TEST(OdbcBase, ReportLoopEndsOnAFailingFetchAndIsBounded) {
    HandlerLog::Reset();
    ScriptedObject failing;
    failing.AutoReport(1);
    failing.SetErrHandler(HandlerLog::Handle);
    failing.answers = {SQL_SUCCESS, SQL_ERROR, SQL_SUCCESS};
    failing.SetRC(SQL_ERROR);
    EXPECT_EQ(HandlerLog::codes.size(), 1u);  // the ERROR answer ends the loop

    HandlerLog::Reset();
    ScriptedObject endless;
    endless.AutoReport(1);
    endless.SetErrHandler(HandlerLog::Handle);
    endless.answers.assign(1000, SQL_SUCCESS);
    endless.SetRC(SQL_ERROR);
    EXPECT_EQ(HandlerLog::codes.size(), static_cast<size_t>(ODBC_MAX_REPORTED_RECORDS));
}

TEST(OdbcBase, LibraryCodeIsReportedThroughHandlerWithItsText) {
    HandlerLog::Reset();
    ScriptedObject o;
    o.AutoReport(1);
    o.SetErrHandler(HandlerLog::Handle);
    o.SetRC(-1002);
    ASSERT_EQ(HandlerLog::states.size(), 1u);
    EXPECT_EQ(HandlerLog::states[0], "S1000|[Quorvex][VRM]Bad parameter.");
    EXPECT_EQ(HandlerLog::codes[0], -1);
}

TEST(OdbcBase, ReportWithoutHandlerUsesReporterAndCaption) {
    ReporterLog::calls.clear();
    odbcReporter previous = odbcSetReporter(ReporterLog::Report);
    ScriptedObject o;
    o.AutoReport(1);
    o.SetMBoxFlags(0x30);
    o.SetRC(-1004);
    odbcSetReporter(previous);
    ASSERT_EQ(ReporterLog::calls.size(), 1u);
    EXPECT_EQ(ReporterLog::calls[0], "S1000(-0001)|[Quorvex][VRM]Ill-formed statement.|48");
    EXPECT_EQ(o.ReportReturned(), 7);
}

TEST(OdbcBase, ReportWithoutMessageBufferShowsUnknownError) {
    ReporterLog::calls.clear();
    odbcReporter previous = odbcSetReporter(ReporterLog::Report);
    ScriptedObject o;
    EXPECT_EQ(o.Report(), 7);
    odbcSetReporter(previous);
    ASSERT_EQ(ReporterLog::calls.size(), 1u);
    EXPECT_EQ(ReporterLog::calls[0], "(00000)|[Quorvex][VRM]Unknown error.|64");
}

TEST(OdbcBase, NextErrorAnswers100AfterNoData) {
    ScriptedObject o;
    o.SetRC(SQL_NO_DATA_FOUND);
    EXPECT_EQ(o.NextError(), SQL_NO_DATA_FOUND);
    EXPECT_EQ(o.fetches, 0);
    EXPECT_EQ(o.NoDataFound(), 1);
    o.SetRC(SQL_NEED_DATA);
    EXPECT_EQ(o.needData(), 1);
}

TEST(OdbcBase, SettersReturnPreviousValues) {
    ScriptedObject o;
    EXPECT_EQ(o.AutoRetrieve(2), 1);
    EXPECT_EQ(o.AutoReport(1), 0);
    EXPECT_EQ(o.SetErrHandler(HandlerLog::Handle), nullptr);
    EXPECT_EQ(o.SetErrHandler(nullptr), HandlerLog::Handle);
}

TEST(OdbcBase, TrimTrailingBlanksRemovesOnlySpaces) {
    ScriptedObject o;
    struct {
        const char* in;
        const char* out;
    } cases[] = {{"AB  ", "AB"}, {"   ", ""}, {"A B", "A B"}, {"A\t ", "A\t"}, {"", ""}};
    for (auto& c : cases) {
        char buffer[16];
        std::strcpy(buffer, c.in);
        o.TrimTrailingBlanks(buffer);
        EXPECT_STREQ(buffer, c.out) << "input '" << c.in << "'";
    }
}

TEST(OdbcBase, TypeTables) {
    ScriptedObject o;
    EXPECT_EQ(o.PrecisionForSqlType(SQL_CHAR, 40), 40u);
    EXPECT_EQ(o.PrecisionForSqlType(SQL_TIMESTAMP, 40), 23u);
    EXPECT_EQ(o.PrecisionForSqlType(SQL_INTEGER, 99), 10u);
    EXPECT_EQ(o.PrecisionForSqlType(SQL_DOUBLE, 99), 15u);
    EXPECT_EQ(o.PrecisionForSqlType(SQL_BIGINT, 99), 20u);
    EXPECT_EQ(o.PrecisionForSqlType(0, 99), 0u);
    EXPECT_EQ(o.LengthForCType(SQL_C_TINYINT, 4), 0u);
    EXPECT_EQ(o.LengthForCType(SQL_C_STINYINT, 4), 1u);
    EXPECT_EQ(o.LengthForCType(SQL_C_SHORT, 9), 2u);
    EXPECT_EQ(o.LengthForCType(SQL_C_FLOAT, 9), 4u);
    EXPECT_EQ(o.LengthForCType(SQL_C_TIMESTAMP, 9), 16u);
    EXPECT_EQ(o.LengthForCType(SQL_C_CHAR, 9), 9u);
    EXPECT_EQ(o.GetConvertInfoFlag(SQL_CHAR), 56);
    EXPECT_EQ(o.GetConvertInfoFlag(SQL_VARCHAR), 70);
    EXPECT_EQ(o.GetConvertInfoFlag(SQL_BIT), 55);
    EXPECT_EQ(o.GetConvertInfoFlag(99), 0);
    EXPECT_EQ(o.GetConvertInfoBitMask(SQL_CHAR), 0x1u);
    EXPECT_EQ(o.GetConvertInfoBitMask(SQL_NUMERIC), 0x2u);
    EXPECT_EQ(o.GetConvertInfoBitMask(SQL_LONGVARBINARY), 0x40000u);
    EXPECT_EQ(o.GetConvertInfoBitMask(99), 0u);
}

TEST(OdbcBase, CopyErrorPolicyTakesEverySetting) {
    ScriptedObject from, to;
    from.AutoRetrieve(2);
    from.AutoReport(1);
    from.SetErrHandler(HandlerLog::Handle);
    int owner = 0;
    from.SetWnd(&owner);
    from.SetMBoxFlags(3);
    to.CopyErrorPolicy(from);
    EXPECT_EQ(to.GetAutoRetrieve(), 2);
    EXPECT_EQ(to.GetAutoReport(), 1);
    EXPECT_EQ(to.GetErrHandler(), HandlerLog::Handle);
    EXPECT_EQ(to.GetWnd(), &owner);
    EXPECT_EQ(to.GetMBoxFlags(), 3);
}

}  // namespace
