#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/runtime_file_gate.h"
#include "support/web_exception.h"
#include "engine/templates/core/output_section.h"
#include "engine/templates/core/query_results.h"
#include "tests/common/temp_home.h"
#include "tests/common/web_error_capture.h"

namespace {

// A page with a few queries, variables and URL parameters. Expressions are
// names, "INC(x)" (x + 1) or "ROW()" (the row evaluated for); conditions are
// "name=value".
class FakePage : public COutputSectionHost {
public:
    std::map<std::string, std::unique_ptr<CTSXQueryImp>> queries;
    std::map<std::string, std::string> variables;
    std::map<std::string, std::string> url;
    std::string runningQuery;
    int loopRow = 0;  // 0: no query loop
    int resolutions = 0;
    int timeChecks = 0;
    std::string defaultServer = "smtp.example.com";
    std::vector<SectionMailMessage> mail;
    int posted = 0;

    CTSXQueryImp& AddQuery(const std::string& name, const std::vector<std::string>& columns,
                           const std::vector<std::vector<std::string>>& rows) {
        auto q = std::make_unique<CTSXQueryImp>();
        q->SetName(name);
        for (const auto& c : columns) q->AddColumn(c);
        for (const auto& r : rows) q->AddRow(r);
        CTSXQueryImp& ref = *q;
        queries[q->GetName()] = std::move(q);
        return ref;
    }

    std::vector<std::pair<bool, std::string>> SplitText(const std::string& text) override {
        std::vector<std::pair<bool, std::string>> out;
        std::string literal;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '#') {
                literal += text[i];
            } else if (i + 1 < text.size() && text[i + 1] == '#') {
                literal += '#';
                ++i;
            } else {
                std::size_t end = text.find('#', i + 1);
                if (end == std::string::npos) throw new CWebException("unmatched", "");
                if (!literal.empty()) out.push_back({false, literal});
                literal.clear();
                out.push_back({true, text.substr(i + 1, end - i - 1)});
                i = end;
            }
        }
        if (!literal.empty()) out.push_back({false, literal});
        return out;
    }
    SectionResolution ResolveParameter(const std::string& name, int row) override {
        ++resolutions;
        SectionResolution r;
        if (CTSXQueryImp* q = FindQuery(runningQuery)) {
            int column = q->GetColumnIndex(name);
            if (column != kColumnUnknown) {
                r.value = q->GetColumnValue(row < 0 ? 0 : row, column);
                r.currentColumn = true;
                r.query = q;
                r.column = column;
                return r;
            }
        }
        if (variables.count(name)) {
            r.value = variables[name];
            return r;
        }
        if (url.count(name)) {
            r.value = url[name];
            r.fixed = true;
            return r;
        }
        throw new CWebException(CWebMessage::FromHtml("Error resolving parameter <B>" + name + "</B>"), "");
    }
    std::string EvaluateExpression(const std::string& e, int row) override {
        if (e == "ROW()") return std::to_string(row);
        if (e.rfind("INC(", 0) == 0)
            return std::to_string(std::stoi(EvaluateExpression(e.substr(4, e.size() - 5), row)) + 1);
        return ResolveParameter(e, row).value;
    }
    // "QUOTE(x)": x between quotes the expression's own literals wrote.
    CTracedText EvaluateTracedExpression(const std::string& e, int row) override {
        if (e.rfind("QUOTE(", 0) != 0) return COutputSectionHost::EvaluateTracedExpression(e, row);
        CTracedText quoted = CTracedText::Literal("'");
        quoted.AppendUniform(EvaluateExpression(e.substr(6, e.size() - 7), row), true);
        quoted.AppendLiteral("'");
        return quoted;
    }
    std::string EvaluateField(const std::string& text, int row) override {
        std::string out;
        for (auto& [isExpression, piece] : SplitText(text))
            out += isExpression ? EvaluateExpression(piece, row) : piece;
        return out;
    }
    bool EvaluateCondition(const std::string& c, int row) override {
        std::size_t eq = c.find('=');
        return EvaluateExpression(c.substr(0, eq), row) == c.substr(eq + 1);
    }
    void SetVariableFromExpression(const std::string& name, const std::string& e, int row) override {
        variables[name] = EvaluateExpression(e, row);
    }
    CTSXQueryImp* FindQuery(const std::string& name) override {
        auto it = queries.find(name);
        return it == queries.end() ? nullptr : it->second.get();
    }
    void CheckRequestTime() override { ++timeChecks; }
    bool LoopQueryRow(int& row) override {
        row = loopRow;
        return loopRow > 0;
    }
    std::string SetRunningSectionQuery(const std::string& name) override {
        std::string previous = runningQuery;
        runningQuery = name;
        return previous;
    }
    std::string DefaultMailServer() override { return defaultServer; }
    void SpoolMail(const SectionMailMessage& m) override { mail.push_back(m); }
    void MailPosted() override { ++posted; }
    const CRuntimeFileGate& PrivateFiles() override { return files; }
    CRuntimeFileGate files;
};

std::vector<std::vector<std::string>> Numbers(int count) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= count; ++i) rows.push_back({std::to_string(i)});
    return rows;
}

TEST(OutputSectionTest, QueryRowsAreListedInOrder) {
    FakePage page;
    page.AddQuery("q", {"name"}, {{"Ann"}, {"Bob"}, {"Cy"}});
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    sections.OnQuery("q");
    sections.Current()->AddText("#name#,");
    EXPECT_EQ(sections.CloseTopLevel(), "Ann,Bob,Cy,");
    EXPECT_FALSE(sections.IsOpen());
    EXPECT_EQ(page.timeChecks, 3);
    EXPECT_EQ(page.runningQuery, "");
}

TEST(OutputSectionTest, RowWindowFromStartRowAndMaxRows) {
    struct Case {
        const char* start;
        const char* max;
        std::string expected;
    } cases[] = {
        {"3", "2", "3,4,"}, {"1", "0", ""}, {"9", "5", "9,10,"}, {"11", "", ""}, {"", "", "1,2,3,4,5,6,7,8,9,10,"}};
    for (const Case& c : cases) {
        FakePage page;
        page.AddQuery("q", {"n"}, Numbers(10));
        COutputSectionStack sections(page);
        sections.OpenOutput(false);
        sections.OnQuery("Q");
        if (*c.start) sections.OnStartRow(c.start, "");
        if (*c.max) sections.OnMaxRows(c.max, "");
        sections.Current()->AddText("#n#,");
        EXPECT_EQ(sections.CloseTopLevel(), c.expected) << c.start << " " << c.max;
    }
}

TEST(OutputSectionTest, BadRowAttributesAreRefused) {
    FakePage page;
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    Thrown max = WebErrorOf([&] { sections.OnMaxRows("-2", "[pos]"); });
    EXPECT_EQ(max.message, "An error occurred while attempting to process a TSOUTPUT tag.<P>");
    EXPECT_EQ(max.detail,
              "[pos]The MAXROWS attribute of the TSOUTPUT tag, which evaluates to -2, must be a "
              "non-negative number.<P>");
    Thrown start = WebErrorOf([&] { sections.OnStartRow("0", "[pos]"); });
    EXPECT_EQ(start.detail,
              "[pos]The STARTROW attribute of the TSOUTPUT tag, which evaluates to 0, must be a "
              "positive number.<P>");
    Thrown query = WebErrorOf([&] { sections.OnQuery("nope"); });
    EXPECT_EQ(query.message, "Invalid QUERY specified in TSOUTPUT tag<P>");
}

TEST(OutputSectionTest, SectionWithoutQueryRunsOnceOrOnTheLoopRow) {
    FakePage page;
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    sections.Current()->AddText("[#ROW()#]");
    EXPECT_EQ(sections.CloseTopLevel(), "[0]");

    page.loopRow = 3;
    sections.OpenOutput(false);
    sections.Current()->AddText("[#ROW()#]");
    EXPECT_EQ(sections.CloseTopLevel(), "[2]");

    // MAXROWS does not repeat a section that has no query.
    page.loopRow = 0;
    sections.OpenOutput(false);
    sections.OnMaxRows("1000000000", "");
    sections.Current()->AddText("[#ROW()#]");
    EXPECT_EQ(sections.CloseTopLevel(), "[0]");
}

TEST(OutputSectionTest, WithGroupMaxRowsCountsGroups) {
    FakePage page;
    page.AddQuery("q", {"region", "name"},
                  {{"A", "a1"}, {"A", "a2"}, {"B", "b1"}, {"B", "b2"}, {"C", "c1"}, {"abc", "x"}, {"ABC", "y"}});
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    sections.OnQuery("q");
    sections.OnGroup(" region ");
    sections.OnMaxRows("2", "");
    sections.Current()->AddText("#region#;");
    EXPECT_EQ(sections.CloseTopLevel(), "A;B;");

    sections.OpenOutput(false);
    sections.OnQuery("q");
    sections.OnGroup("region");
    sections.Current()->AddText("#region#;");
    EXPECT_EQ(sections.CloseTopLevel(), "A;B;C;abc;ABC;");
}

TEST(OutputSectionTest, NestedSectionsListEachGroup) {
    FakePage page;
    page.AddQuery("q", {"region", "name"}, {{"A", "a1"}, {"A", "a2"}, {"B", "b1"}, {"C", "c1"}, {"C", "c2"}});
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    sections.OnQuery("q");
    sections.OnGroup("region");
    sections.Current()->AddText("#region#:[");
    sections.OpenOutput(false);
    EXPECT_EQ(sections.Current()->GetQuery(), "Q");
    Thrown nestedQuery = WebErrorOf([&] { sections.OnQuery("q"); });
    EXPECT_EQ(nestedQuery.message, "Invalid use of QUERY attribute on nested TSOUTPUT tag<P>");
    sections.Current()->AddText("#name# ");
    sections.CloseNested(false);
    sections.Current()->AddText("] #region# ");
    EXPECT_EQ(sections.CloseTopLevel(), "A:[a1 a2 ] A B:[b1 ] B C:[c1 c2 ] C ");
}

TEST(OutputSectionTest, NestingNeedsQueryAndGroupOnTheOuterSection) {
    FakePage page;
    page.AddQuery("q", {"n"}, Numbers(3));
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    Thrown noQuery = WebErrorOf([&] { sections.OpenOutput(false); });
    EXPECT_EQ(noQuery.message, "No QUERY attribute specified for top-level TSOUTPUT tag<P>");

    COutputSectionStack grouped(page);
    grouped.OpenOutput(false);
    grouped.OnQuery("q");
    grouped.OpenOutput(false);
    Thrown noGroup = WebErrorOf([&] { grouped.CloseNested(false); });
    EXPECT_EQ(noGroup.message, "No GROUP attribute specified for top-level TSOUTPUT tag<P>");

    // Inside a TSREPORT body, nesting is not this code's business.
    COutputSectionStack report(page);
    report.OpenOutput(false);
    report.OpenOutput(true);
    report.CloseNested(true);
    EXPECT_TRUE(report.IsOpen());
}

TEST(OutputSectionTest, SectionsNestUpToTheBoundAndRunThere) {
    FakePage page;
    page.AddQuery("q", {"g"}, {{"a"}, {"b"}});
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    sections.OnQuery("q");
    for (std::size_t depth = 1; depth < kMaxSectionNesting; ++depth) {
        sections.OnGroup("g");
        sections.OpenOutput(false);
    }
    sections.Current()->AddText("#g#");
    Thrown deeper = WebErrorOf([&] { sections.OpenOutput(false); });
    EXPECT_EQ(deeper.message, "An error occurred while attempting to process a TSOUTPUT tag.<P>");
    EXPECT_NE(deeper.detail.find("would be nested inside 1000 other sections"), std::string::npos)
        << deeper.detail;
    for (std::size_t depth = 1; depth < kMaxSectionNesting; ++depth) sections.CloseNested(false);
    EXPECT_EQ(sections.CloseTopLevel(), "ab");
}

TEST(OutputSectionTest, VariablesChangedInTheBodyShowTheirNewValue) {
    FakePage page;
    page.AddQuery("q", {"n"}, Numbers(3));
    page.variables["X"] = "10";
    page.url["U"] = "fixed";
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    sections.OnQuery("q");
    sections.Current()->AddText("#X#/#U#/#n#,");
    sections.Current()->AddSet("X", "INC(X)");
    EXPECT_EQ(sections.CloseTopLevel(), "10/fixed/1,11/fixed/2,12/fixed/3,");
    EXPECT_EQ(page.variables["X"], "13");
}

TEST(OutputSectionTest, FixedValuesAreResolvedOnce) {
    FakePage page;
    page.AddQuery("q", {"n"}, Numbers(5));
    page.url["U"] = "u";
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    sections.OnQuery("q");
    sections.Current()->AddText("#U##n#");
    EXPECT_EQ(sections.CloseTopLevel(), "u1u2u3u4u5");
    EXPECT_EQ(page.resolutions, 2);
}

// Each character of a report body, as recorded: L the template's, v a value's.
std::string Origins(const CTracedText& text) {
    std::string marks;
    for (std::size_t i = 0; i < text.size(); ++i) marks += text.IsValueAt(i) ? 'v' : 'L';
    return marks;
}

TEST(OutputSectionTest, AReportBodyRecordsWhereEachCharacterCameFrom) {
    FakePage page;
    page.url["U"] = "Lab";
    page.variables["X"] = "10";
    COutputSectionStack sections(page);
    sections.OpenReport();
    sections.Current()->AddText("{d} = #QUOTE(U)# or {n} = #X#");
    sections.Current()->AddSet("X", "INC(X)");
    sections.Current()->AddText(" or #U##X#");
    CTracedText body;
    EXPECT_EQ(sections.CloseTopLevel(&body), "{d} = 'Lab' or {n} = 10 or Lab11");
    EXPECT_EQ(body.Text(), "{d} = 'Lab' or {n} = 10 or Lab11");
    EXPECT_EQ(Origins(body), "LLLLLLLvvvLLLLLLLLLLLvvLLLLvvvvv");
}

TEST(OutputSectionTest, ConditionsAreEvaluatedPerRowAndMustBeClosed) {
    FakePage page;
    page.AddQuery("q", {"n"}, Numbers(3));
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    sections.OnQuery("q");
    COutputSection& body = *sections.Current();
    body.AddIf("n=1");
    body.AddText("one");
    body.AddElseIf("n=2");
    body.AddText("two");
    body.AddElse();
    body.AddText("other");
    body.AddEndIf();
    body.AddText(";");
    EXPECT_EQ(sections.CloseTopLevel(), "one;two;other;");

    sections.OpenOutput(false);
    sections.OnQuery("q");
    sections.Current()->AddIf("n=1");
    sections.Current()->AddText("x");
    Thrown t = WebErrorOf([&] { sections.CloseTopLevel(); });
    EXPECT_NE(t.message.find("are not properly matched"), std::string::npos);
}

TEST(OutputSectionTest, UnknownGroupColumnAndInvalidTags) {
    FakePage page;
    page.AddQuery("q", {"n"}, Numbers(2));
    COutputSectionStack sections(page);
    sections.OpenOutput(false);
    sections.OnQuery("q");
    sections.OnGroup("nope");
    Thrown t = WebErrorOf([&] { sections.CloseTopLevel(); });
    EXPECT_EQ(t.message, "Invalid column specified in GROUP attribute for TSOUTPUT tag.<P>");
    EXPECT_NE(t.detail.find("The column 'nope' was specified"), std::string::npos);

    Thrown tag = WebErrorOf([] { ThrowInvalidSectionTag("<TSQUERY>"); });
    EXPECT_EQ(tag.message, "Error processing TSOUTPUT tag<P>");
    EXPECT_EQ(tag.detail.rfind("The tag <B>&lt;TSQUERY&gt;</B> was parsed from within a TSOUTPUT section.", 0), 0u);
}

class MailSectionTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        if (HasFatalFailure()) return;
        std::ofstream(dir_ + "/a.txt") << "attached";
        page_.AddQuery(
            "q", {"email", "name", "file"},
            {{"ann@example.com", "Ann\r\nBcc: evil@example.com", "a.txt"}, {"bob@example.com", "Bob", "a.txt"}});
    }
    COutputSection& OpenMail() {
        sections_.OpenMail();
        sections_.OnQuery("q");
        COutputSection& mail = *sections_.Current();
        sections_.OnSubject("Hello #name#");
        sections_.OnFrom("shop@example.com");
        sections_.OnTo("#email#");
        return mail;
    }
    FakePage page_;
    COutputSectionStack sections_{page_};
};

TEST_F(MailSectionTest, OneMessagePerRowWithFieldsFromTheRow) {
    COutputSection& mail = OpenMail();
    sections_.OnCc("boss@example.com\n");
    mail.SetHtmlMail();
    mail.SetPort(2525);
    mail.SetMimeAttach(dir_ + "/#file#");
    mail.AddText("Dear #name#");
    EXPECT_EQ(sections_.CloseTopLevel(), "");
    ASSERT_EQ(page_.mail.size(), 2u);
    EXPECT_EQ(page_.posted, 1);
    const SectionMailMessage& first = page_.mail[0];
    EXPECT_EQ(first.server, "smtp.example.com");
    EXPECT_EQ(first.port, 2525);
    EXPECT_EQ(first.timeout, -1);
    EXPECT_EQ(first.to, "ann@example.com");
    EXPECT_EQ(first.subject, "Hello AnnBcc: evil@example.com");
    EXPECT_EQ(first.cc, "boss@example.com");
    EXPECT_EQ(first.attachment, dir_ + "/a.txt");
    EXPECT_TRUE(first.html);
    EXPECT_EQ(first.body, "Dear Ann\r\nBcc: evil@example.com");
    EXPECT_EQ(page_.mail[1].subject, "Hello Bob");
}

TEST_F(MailSectionTest, AttachmentsAreCheckedOnceEvaluated) {
    page_.queries["Q"]->AddRow({"cy@example.com", "Cy", "missing.txt"});
    COutputSection& mail = OpenMail();
    mail.SetMimeAttach(dir_ + "/#file#");
    mail.AddText("x");
    Thrown t = WebErrorOf([&] { sections_.CloseTopLevel(); });
    EXPECT_EQ(t.message, "Syntax error in TSMAIL tag<P>");
    EXPECT_NE(t.detail.find("An invalid file name (" + dir_ + "/missing.txt)"), std::string::npos);
    EXPECT_EQ(page_.mail.size(), 2u);  // earlier rows stay spooled
    EXPECT_EQ(page_.posted, 0);
}

TEST_F(MailSectionTest, ValidationOrderAndQueryFirst) {
    sections_.OpenMail();
    sections_.OnSubject("s");
    Thrown late = WebErrorOf([&] { sections_.OnQuery("q"); });
    EXPECT_EQ(late.message, "Syntax error in TSMAIL tag<P>");
    EXPECT_EQ(late.detail,
              "The syntax of the TSMAIL tag requires that you specify the QUERY attribute prior to "
              "specifying the SUBJECT, FROM, TO, or CC attributes. <P>");

    page_.defaultServer.clear();
    COutputSectionStack other(page_);
    other.OpenMail();
    Thrown server = WebErrorOf([&] { other.CloseTopLevel(); });
    EXPECT_EQ(server.message, "No SMTP Server Specified for TSMAIL<P>");

    other.OpenMail();
    other.Current()->SetServer("mx");
    other.OnSubject("s");
    other.OnFrom("f");
    Thrown to = WebErrorOf([&] { other.CloseTopLevel(); });
    EXPECT_NE(to.detail.find("TO attribute"), std::string::npos);

    other.OpenMail();
    other.Current()->SetServer("mx");
    other.OnSubject("s");
    other.OnFrom("f");
    other.OnTo("t");
    other.Current()->SetMimeAttach(dir_ + "/none.txt");
    Thrown attach = WebErrorOf([&] { other.CloseTopLevel(); });
    EXPECT_NE(attach.detail.find("none.txt"), std::string::npos);
    EXPECT_TRUE(page_.mail.empty());
}

TEST_F(MailSectionTest, NestedBodyWithoutGroupSendsOneMessageListingAllRows) {
    COutputSection& mail = OpenMail();
    mail.AddText("Rows:");
    sections_.OpenOutput(false);
    sections_.Current()->AddText(" #name#");
    sections_.CloseNested(false);
    sections_.CloseTopLevel();
    ASSERT_EQ(page_.mail.size(), 1u);
    EXPECT_EQ(page_.mail[0].body, "Rows: Ann\r\nBcc: evil@example.com Bob");
}

}  // namespace
