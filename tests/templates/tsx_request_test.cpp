// The engine's side of the extension tag interface, called as a tag library
// would call it.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "engine/templates/core/query_results.h"
#include "engine/templates/tags/extension/tsx_request.h"

namespace {

// Runs call and answers the title and detail of the CTSXExceptionImp it threw.
template <class Call>
std::pair<std::string, std::string> Thrown(Call call) {
    try {
        call();
    } catch (CTSXExceptionImp* e) {
        std::unique_ptr<CTSXExceptionImp> owned(e);
        return {owned->GetTitle(), owned->GetDetail()};
    }
    return {"<nothing thrown>", ""};
}

class TSXRequestTest : public ::testing::Test {
protected:
    CTSXRequestImp MakeRequest(std::vector<std::pair<std::string, std::string>> attributes,
                               CTSXQueryImp* query = nullptr) {
        TSXRequestHost host;
        host.queries = &queries;
        host.write = [this](const std::string& text) { written += text; };
        host.setVariable = [this](const std::string& name, const std::string& value) { variables[name] = value; };
        host.getSetting = [](const std::string& name) { return name == "ProcedureName" ? std::string("Proc") : ""; };
        return CTSXRequestImp(std::move(host), std::move(attributes), query, false);
    }

    CNamedQueries queries;
    std::string written;
    std::map<std::string, std::string> variables;
};

TEST_F(TSXRequestTest, AttributesAndSettings) {
    CTSXRequestImp request = MakeRequest({{"Color", "red"}, {"SIZE", ""}});
    EXPECT_TRUE(request.AttributeExists("color"));
    EXPECT_TRUE(request.AttributeExists("query"));
    EXPECT_FALSE(request.AttributeExists("missing"));
    EXPECT_EQ(request.GetQuery(), nullptr);
    EXPECT_STREQ(request.GetAttribute("COLOR"), "red");
    EXPECT_STREQ(request.GetAttribute("missing"), "");
    CTSXStringSet* names = request.GetAttributeList();
    ASSERT_EQ(names->GetCount(), 2);
    EXPECT_STREQ(names->GetString(1), "Color");
    EXPECT_EQ(names->GetIndexForString("size"), 2);
    EXPECT_EQ(names->GetIndexForString("other"), -1);
    EXPECT_STREQ(request.GetSetting("ProcedureName"), "Proc");
    EXPECT_STREQ(request.GetSetting("Other"), "");
    request.SetVariable("name", "v");
    EXPECT_EQ(variables["NAME"], "v");
    request.Write("out");
    EXPECT_EQ(written, "out");
}

TEST_F(TSXRequestTest, StringIndexesCountFromOne) {
    CTSXStringSetImp set;
    EXPECT_EQ(set.AddString("a"), 1);
    EXPECT_EQ(set.AddString("b"), 2);
    for (int index : {0, 3, -1}) {
        auto [title, detail] = Thrown([&] { set.GetString(index); });
        EXPECT_EQ(title, "Illegal operation in Tessaro Extension (TSX)");
        EXPECT_EQ(detail.rfind("You have attempted to refer to string index " + std::to_string(index) +
                                   " of a string set. The string set contains 2 strings (references to elements of "
                                   "the set are 1 based).",
                               0),
                  0u)
            << detail;
    }
}

TEST_F(TSXRequestTest, QueriesMadeByTheTag) {
    CTSXRequestImp request = MakeRequest({});
    CTSXStringSet* columns = request.CreateStringSet();
    columns->AddString("a");
    columns->AddString("b");
    CTSXQuery* query = request.AddQuery("made", columns);
    ASSERT_NE(queries.Find("MADE"), nullptr);
    EXPECT_TRUE(queries.Find("MADE")->IsExecuted());
    EXPECT_STREQ(query->GetName(), "MADE");
    EXPECT_EQ(query->AddRow(), 1);
    EXPECT_STREQ(query->GetData(1, 2), "");
    query->SetData(1, 1, "x");
    EXPECT_STREQ(query->GetData(1, 1), "x");
    EXPECT_EQ(queries.Find("MADE")->GetColumnValue(0, 0), "x");
    CTSXStringSet* names = query->GetColumns();
    EXPECT_STREQ(names->GetString(2), "B");

    auto [rowTitle, rowDetail] = Thrown([&] { query->GetData(2, 1); });
    EXPECT_EQ(
        rowDetail.rfind("You have attempted to refer to row 2 of the query 'MADE'. This query contains 1 rows.", 0), 0u)
        << rowDetail;
    auto [columnTitle, columnDetail] = Thrown([&] { query->SetData(1, 3, "y"); });
    EXPECT_EQ(columnDetail.rfind("You have attempted to refer to an invalid column of the query 'MADE' (the column "
                                 "index requested was 3).",
                                 0),
              0u)
        << columnDetail;

    // Columns come before rows; the rows stay.
    CTSXQueryView view(*queries.Find("MADE"));
    auto [title, detail] = Thrown([&] { view.AddColumn("c"); });
    EXPECT_EQ(title, "Illegal operation in Tessaro Extension (TSX)");
    EXPECT_EQ(detail.rfind("You may not call CTSXQuery::AddColumn after you have called CTSXQuery::AddRow.", 0), 0u);
    EXPECT_EQ(query->GetRowCount(), 1);

    CTSXQueryImp fresh;
    CTSXQueryView freshView(fresh);
    EXPECT_EQ(freshView.AddColumn("first"), 0);
    EXPECT_EQ(freshView.AddColumn("second"), 1);
}

TEST_F(TSXRequestTest, TheExecutionTimeIsShownAsTheTagSetIt) {
    CTSXRequestImp request = MakeRequest({});
    CTSXStringSet* columns = request.CreateStringSet();
    columns->AddString("a");
    CTSXQuery* query = request.AddQuery("timed", columns);
    query->SetSQL("made by a tag");
    for (int ms : {12, 0, -5}) {
        query->SetExecutionTime(ms);
        EXPECT_EQ(queries.Find("TIMED")->GetElapsedMs(), ms);
        EXPECT_NE(queries.Find("TIMED")->DebugLine().find(", Time=" + std::to_string(ms) + "ms)"), std::string::npos)
            << queries.Find("TIMED")->DebugLine();
    }
}

TEST_F(TSXRequestTest, QueryNamesAreChecked) {
    CTSXRequestImp request = MakeRequest({});
    CTSXQuery* empty = request.AddQuery("none", request.CreateStringSet());
    empty->AddRow();
    EXPECT_EQ(Thrown([&] { empty->GetData(1, 1); }).first, "Illegal operation in Tessaro Extension (TSX)");
    EXPECT_EQ(Thrown([&] { request.AddQuery("None", request.CreateStringSet()); }).first, "Duplicate TSQUERY name");
    for (const char* scope : {"cookie", "URL", "Form"})
        EXPECT_EQ(Thrown([&] { request.AddQuery(scope, request.CreateStringSet()); }).first, "Invalid TSQUERY name");
    // A column set that fails part way leaves no query behind.
    struct Failing : CTSXStringSetImp {
        int GetCount() override { return 2; }
        const char* GetString(int index) override {
            if (index == 2) ThrowIllegalTSXOperation("second column");
            return "one";
        }
    } failing;
    EXPECT_EQ(Thrown([&] { request.AddQuery("partial", &failing); }).first,
              "Illegal operation in Tessaro Extension (TSX)");
    EXPECT_EQ(queries.Find("PARTIAL"), nullptr);
}

TEST_F(TSXRequestTest, ExceptionsAreCopiedWhenRethrown) {
    CTSXRequestImp request = MakeRequest({});
    EXPECT_EQ(Thrown([&] { request.ThrowException("T", "D"); }), std::make_pair(std::string("T"), std::string("D")));
    auto* original = new CTSXExceptionImp("T2", "D2");
    EXPECT_EQ(Thrown([&] { request.RethrowException(original); }),
              std::make_pair(std::string("T2"), std::string("D2")));
}

}  // namespace
