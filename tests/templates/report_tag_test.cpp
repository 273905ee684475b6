// TSREPORT's engine side: the report's HTML as the page takes it, the error pages by number,
// and the attributes that fill the request.
#include <gtest/gtest.h>

#include "support/runtime_file_gate.h"
#include "engine/templates/tags/report/report_engine.h"
#include "support/web_exception.h"
#include "tests/common/temp_home.h"

namespace {

const char* kTrailer = "<HR>This report was created using <";
const char* kImage = "ALT=\"CRYSTAL CLEAR IMAGE\"";

TEST(ReportTagCut, TakesTheBodyCutsTheTrailerAndLinksImages) {
    const std::pair<const char*, const char*> cases[] = {
        {"<HTML><BODY BGCOLOR=x>rows<HR>This report was created using <I>x</I></BODY>", "rows"},
        {"no body here", "no body here"},
        {"<BODY>a<IMG SRC=\"/abs.gif\">b", "a<IMG SRC=\"/abs.gif\">b"},
        {"<BODY>a<IMG SRC=\"rel.gif\">b", "a<IMG SRC=\"/t.tsm?Action=GetGraphic&Rnd=42&File=rel.gif\">b"},
        {"<BODY><IMG ALT=\"CRYSTAL CLEAR IMAGE\" SRC=\"x.gif\">",
         "<IMG  SRC=\"/t.tsm?Action=GetGraphic&Rnd=42&File=x.gif\">"},
        {"<BODY>end SRC=\"", "end SRC=\"/t.tsm?Action=GetGraphic&Rnd=42&File="},
        {"<BODY", "<BODY"},
    };
    for (const auto& [html, expected] : cases)
        EXPECT_EQ(CReportTag::CutReport(html, kTrailer, kImage, "/t.tsm", 42), expected) << html;
}

TEST(ReportTagErrors, DetailsByNumber) {
    std::map<std::string, std::string> formulas{{"@A", "1"}, {"@B", "x"}};
    EXPECT_EQ(
        CReportTag::ReportErrorDetail(515, "", "<P>lib", "/r.rpt", " {a} ", formulas).Html(),
        "Either the selection criteria or one of the custom formulas you specified for the report /r.rpt is invalid."
        "<PRE>\nSelection Criteria:\n\n    {a} \n</PRE><PRE>\nCustom Formulas:\n\n   @A = \"1\"\n   @B = \"x\"\n</PRE>"
        "<P>Please verify that you have used the correct syntax for your selection criteria and custom "
        "formulas.<P>lib");
    EXPECT_EQ(CReportTag::ReportErrorDetail(515, "", "", "/r.rpt", "  ", {}).Html().find("<PRE>"), std::string::npos);
    EXPECT_EQ(
        CReportTag::ReportErrorDetail(510, "@Missing", "", "/r.rpt", "", {}).Html(),
        "The formula named @Missing could not be found within the report '/r.rpt'. Please verify that the formula is "
        "spelled correctly and is included in your report.");
    EXPECT_EQ(CReportTag::ReportErrorDetail(0, "as is", "L", "", "", {}).Html(), "as isL");
    EXPECT_EQ(CReportTag::ReportErrorDetail(-25536, "t", "", "", "", {}).Html(),
              "An unexpected error occurred while using the Crystal Engine.<P>Error number -25536 ocurred (t).");
    EXPECT_EQ(CReportTag::ReportErrorDetail(777, "", "", "", "", {}).Html(),
              "An unexpected error occurred while using the Crystal Engine.<P>Error number 777 ocurred.");
    for (short n : {509, 536, 526, 400})
        EXPECT_FALSE(CReportTag::ReportErrorDetail(n, "", "", "/r.rpt", "", {}).Html().empty()) << n;
}

TEST(ReportTagAttributes, ReportFileTimeoutAndFormulas) {
    tessaro::test::TempFolder folder("tsreptag");
    std::string report = folder.write("r.rpt", "x");
    CRuntimeFileGate files;
    std::timed_mutex reportServer;
    tessaro::reports::ReportTagSettingsOnce reportSettings;
    CReportTag tag(nullptr, nullptr, files, reportServer, reportSettings);
    for (const std::string& bad : {folder.path(), folder.path() + "/none.rpt"}) {
        try {
            tag.SetReportPath(bad);
            FAIL() << bad;
        } catch (CWebException* e) {
            EXPECT_EQ(e->GetMessage(), "Error processing TSREPORT tag<P>");
            EXPECT_NE(e->GetDetail().find("(<I>" + bad + "</I>) either does not exist"), std::string::npos);
            e->Delete();
        }
    }
    EXPECT_TRUE(tag.Folder().empty());  // nothing written before the path is good
    tag.SetReportPath(report);
    EXPECT_EQ(tag.m_reportPath, report);
    tag.AddFormula("@Title =", "one");
    tag.AddFormula(" @Title=", "two");
    EXPECT_EQ(tag.m_formulas, (std::map<std::string, std::string>{{"@Title", "two"}}));
}

// A body or a formula value as the section writes it: each character knows whether the
// template wrote it (in its text or in an expression's literals) or a value gave it.
TEST(ReportTagFormulas, TheAuthorsCharactersStayFormulaAndOnlyValuesAreQuoted) {
    const auto text = [](std::initializer_list<std::pair<const char*, bool>> pieces) {
        CTracedText out;
        for (const auto& [characters, value] : pieces) out.AppendUniform(characters, value);
        return out;
    };
    const struct {
        CTracedText text;
        const char* formula;
    } cases[] = {
        // Quotes the author wrote inside an expression ("'" & URL.d & "'") open and close a text.
        {text({{"{staff.dept} = '", false}, {"x' or 'a'='a", true}, {"'", false}}),
         "{staff.dept} = 'x'' or ''a''=''a'"},
        {text({{"{staff.dept} = \"", false}, {"x\" or \"a\"=\"a", true}, {"\"", false}}),
         "{staff.dept} = \"x\"\" or \"\"a\"\"=\"\"a\""},
        // A selection the author built with DE in IIf: only the value's characters are a text.
        {text({{"{staff.dept} = '", false}, {"Lab", true}, {"' and {staff.id} > 3", false}}),
         "{staff.dept} = 'Lab' and {staff.id} > 3"},
        {text({{"{staff.dept} = 'Sales'", false}}), "{staff.dept} = 'Sales'"},
        // Wholly from a value: a text of its own, or a number as written.
        {text({{"{staff.dept} = ", false}, {"'Lab' or true", true}}), "{staff.dept} = \"'Lab' or true\""},
        {text({{"{staff.id} <= ", false}, {"3", true}}), "{staff.id} <= 3"},
        {CTracedText::Value("{staff.id} > 0"), "\"{staff.id} > 0\""},
        {CTracedText(), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CReportTag::FormulaOf(c.text), c.formula) << c.text.Text();
}

}  // namespace
