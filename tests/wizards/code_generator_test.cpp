#include "wizards/code_generator.h"

#include <gtest/gtest.h>

#include "tests/common/temp_home.h"

namespace tessaro::wizards {
namespace {

TFormFieldProperties Control(const std::string& type, const std::string& content = "") {
    TFormFieldProperties p;
    p.ControlType = type;
    p.Content = content;
    return p;
}

TFormFieldProperties WithOptions(const std::string& type, std::size_t count, std::size_t selected) {
    TFormFieldProperties p = Control(type);
    for (std::size_t i = 0; i < count; ++i)
        p.Options[i] = {"x" + std::to_string(i + 1), "v" + std::to_string(i + 1), i + 1 == selected ? "Yes" : "No"};
    return p;
}

struct ControlCase {
    const char* name;
    TFormFieldProperties properties;
    Lines expected;
};

class FormControlTest : public ::testing::TestWithParam<ControlCase> {};

TEST_P(FormControlTest, EmitsTheControlsLines) {
    EXPECT_EQ(TCodeGenerator::FormControl("c", GetParam().properties), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, FormControlTest,
    ::testing::Values(
        ControlCase{"TextBox", Control("TextBox"), {R"(<INPUT TYPE="text" NAME="c" SIZE="50" MAXLENGTH="40">)"}},
        ControlCase{"TextBoxWithContent",
                    Control("TextBox", "v"),
                    {R"(<INPUT TYPE="text" NAME="c" VALUE="v" SIZE="50" MAXLENGTH="40">)"}},
        ControlCase{"TextArea", Control("TextArea", "hi"), {R"(<TEXTAREA NAME="c" COLS="50" ROWS="40">hi</TEXTAREA>)"}},
        ControlCase{"HiddenEmpty", Control("Hidden Field"), {R"(<INPUT TYPE="hidden" NAME="c">)"}},
        ControlCase{"HiddenValue", Control("Hidden Field", "7"), {R"(<INPUT TYPE="hidden" NAME="c" VALUE="7">)"}},
        ControlCase{
            "MultiSelect",
            WithOptions("Multi-Select", 1, 1),
            {R"(<SELECT NAME="c" SIZE="10" MULTIPLE>)", R"(     <OPTION VALUE="v1" SELECTED>x1)", "     </SELECT>"}},
        ControlCase{"DropDown",
                    WithOptions("Drop-Down", 2, 0),
                    {R"(<SELECT NAME="c">)", R"(     <OPTION VALUE="v1">x1)", R"(     <OPTION VALUE="v2">x2)",
                     "     </SELECT>"}},
        ControlCase{
            "SingleSelect", WithOptions("Single-Select", 0, 0), {R"(<SELECT NAME="c" SIZE="10">)", "     </SELECT>"}},
        ControlCase{
            "Radio",
            WithOptions("Radio Buttons", 2, 2),
            {R"(<INPUT TYPE="radio" NAME="c" VALUE="v1">x1)", R"(<INPUT TYPE="radio" NAME="c" VALUE="v2" CHECKED>x2)"}},
        ControlCase{"Checkboxes",
                    WithOptions("Checkboxes", 1, 1),
                    {R"(<INPUT TYPE="checkbox" NAME="c" VALUE="v1" CHECKED>x1)"}},
        ControlCase{"Unknown", Control("Slider"), {""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FormControlOptions, AllHundredOptionsAreEmitted) {
    EXPECT_EQ(TCodeGenerator::FormControl("c", WithOptions("Radio Buttons", 100, 0)).size(), 100u);
    EXPECT_EQ(TCodeGenerator::FormControl("c", WithOptions("Drop-Down", 100, 0)).size(), 102u);
}

TEST(ValidationFields, OneLinePerRule) {
    struct Case {
        const char* rule;
        const char* line;
    };
    for (const Case& c : {Case{"Integer", R"(<INPUT TYPE="hidden" NAME="c_integer" VALUE="m">)"},
                          Case{"Float", R"(<INPUT TYPE="hidden" NAME="c_float" VALUE="m">)"},
                          Case{"Date", R"(<INPUT TYPE="hidden" NAME="c_date" VALUE="m">)"},
                          Case{"Required", R"(<INPUT TYPE="hidden" NAME="c_required" VALUE="m">)"},
                          Case{"Range", R"(<INPUT TYPE="hidden" NAME="c_range" VALUE="MIN=1 MAX=9">)"}})
        EXPECT_EQ(TCodeGenerator::ValidationField("c", c.rule, "9", "1", "m"), c.line) << c.rule;
}

TEST(Placeholders, FirstOccurrenceIgnoringCaseAnywhere) {
    TCodeGenerator g;
    g.SetText("#PageHeader#<BODY>#pageheader#");
    g.ReplaceText("#PAGEHEADER#", "A");
    EXPECT_EQ(g.Text(), "A<BODY>#pageheader#");
    g.ReplaceLines("#PageHeader#", {"x", "y"});
    EXPECT_EQ(g.Text(), "A<BODY>x\ny\n");
    g.ReplaceText("#Missing#", "z");
    EXPECT_EQ(g.Text(), "A<BODY>x\ny\n");
}

TEST(Placeholders, GeneratedTextEndsItsLinesInLineFeeds) {
    tessaro::test::TempFolder folder;
    TCodeGenerator g;
    ASSERT_TRUE(g.LoadTemplate(folder.write("t.txt", "<P>\r\n#Lines#\r\n</P>\r\n")));
    g.ReplaceLines("#Lines#", {"a\r", "b"});
    EXPECT_EQ(g.Text(), "<P>\na\nb\n\n</P>\n");
}

TDBTableFieldsList Fields(std::initializer_list<TDBTableField> list) {
    TDBTableFieldsList fields;
    for (const TDBTableField& f : list) fields.Add(QualifiedName(f.TableName, f.FieldName), f);
    return fields;
}

TEST(SearchConditions, TextIsQuotedAndNumbersGoThroughVal) {
    TDBTableField text{"T", "C", "varchar(20)", "", ""};
    TDBTableField number{"T", "N", "INTEGER", "", ""};
    EXPECT_EQ(TCodeGenerator::SearchCondition(text, "LIKE *xxx*"), "T.C LIKE '%#T__C#%' ");
    EXPECT_EQ(TCodeGenerator::SearchCondition(text, "LIKE xxx*"), "T.C LIKE '#T__C#%' ");
    EXPECT_EQ(TCodeGenerator::SearchCondition(text, "LIKE *xxx"), "T.C LIKE '%#T__C#' ");
    EXPECT_EQ(TCodeGenerator::SearchCondition(text, "="), "T.C = '#T__C#' ");
    EXPECT_EQ(TCodeGenerator::SearchCondition(number, ">"), "T.N > #Val(T__N)# ");
    // Neither text nor number: quoted, so a date compares as the text it is written as.
    EXPECT_EQ(TCodeGenerator::SearchCondition({"T", "D", "DATE", "", ""}, ">="), "T.D >= '#T__D#' ");
    EXPECT_EQ(TCodeGenerator::SearchCondition({"T", "M", "numeric(10,2)", "", ""}, "="), "T.M = #Val(T__M)# ");
    number.Setting = "<=";
    EXPECT_EQ(TCodeGenerator::SearchConditions(Fields({number})),
              (Lines{R"(    <TSIF #T__N# IS NOT "">)", "       AND T.N <= #Val(T__N)# ", "    </TSIF>", ""}));
}

TEST(MailBlock, WithoutQueryAndSender) {
    TFieldPropertiesList props;
    TDBTableFieldsList fields = Fields({{"staff", "name", "TEXT", "", ""}});
    props.Properties(FindOrCreateProperties("staff.name", props)).Caption = "Name";
    EXPECT_EQ(TCodeGenerator::MailBlock("", "", props, fields, "Data Submition (S)", "a@b"),
              (Lines{R"(<TSMAIL FROM="Unknown")", R"(        TO="a@b")", R"x(        SUBJECT="Data Submition (S)">)x",
                     "Name: #name#", "</TSMAIL>"}));
    EXPECT_EQ(TCodeGenerator::MailBlock("q", "me", props, fields, "s", "t")[1], R"(        FROM="me")");
}

TEST(FormFields, StylesFrameAndPadTheControls) {
    TFieldPropertiesList props;
    TDBTableFieldsList fields =
        Fields({{"t", "a", "TEXT", "", ""}, {"t", "r", "TEXT", "", ""}, {"t", "h", "TEXT", "", ""}});
    props.Properties(FindOrCreateProperties("t.a", props)).Caption = "Name";
    props.Properties(FindOrCreateProperties("t.r", props)) = WithOptions("Radio Buttons", 2, 0);
    props.Properties(FindOrCreateProperties("t.r", props)).Caption = "Pick";
    props.Properties(FindOrCreateProperties("t.h", props)).ControlType = "Hidden Field";

    Lines pre = TCodeGenerator::FormFields("PreformatedStyle", fields, false, props);
    ASSERT_EQ(pre.size(), 5u);
    EXPECT_EQ(pre[0], "<PRE>");
    EXPECT_EQ(pre[1], std::string(21, ' ') + "Name " + R"(<INPUT TYPE="text" NAME="a" SIZE="50" MAXLENGTH="40">)");
    EXPECT_EQ(pre[3], std::string(26, ' ') + R"(<INPUT TYPE="radio" NAME="r" VALUE="v2">x2)");
    EXPECT_EQ(pre[4], "</PRE>");

    Lines table = TCodeGenerator::FormFields("TabularStyle", fields, true, props);
    EXPECT_EQ(
        table[1],
        R"(<TR><TD ALIGN="right">Name</TD><TD><INPUT TYPE="text" NAME="t__a" SIZE="50" MAXLENGTH="40"></TD></TR>)");
    EXPECT_EQ(table[3], R"(<INPUT TYPE="radio" NAME="t__r" VALUE="v2">x2<BR></TD></TR>)");

    Lines simple = TCodeGenerator::FormFields("SimpleStyle", fields, false, props);
    EXPECT_EQ(simple.size(), 3u);
    EXPECT_EQ(simple[2], R"(<INPUT TYPE="radio" NAME="r" VALUE="v2">x2<BR>)");

    EXPECT_EQ(TCodeGenerator::HiddenFields(fields, props, false),
              (Lines{R"(<INPUT TYPE="hidden" NAME="h" VALUE="">)"}));
}

TEST(ValidationRules, RuleThenRequiredPerField) {
    TFieldPropertiesList props;
    TDBTableFieldsList fields = Fields({{"t", "n", "INTEGER", "", ""}, {"t", "m", "TEXT", "", ""}});
    TFormFieldProperties& n = props.Properties(FindOrCreateProperties("t.n", props));
    n.ValidationRule = "Integer";
    n.ValidationMessage = "whole";
    n.Required = true;
    n.RequiredMessage = "needed";
    EXPECT_EQ(TCodeGenerator::ValidationRules(fields, props, true),
              (Lines{R"(<INPUT TYPE="hidden" NAME="t__n_integer" VALUE="whole">)",
                     R"(<INPUT TYPE="hidden" NAME="t__n_required" VALUE="needed">)"}));
}

TEST(ResultAndDetail, ColumnsAndPaddedLines) {
    TDBTableFieldsList fields = Fields({{"T", "C", "TEXT", "Hdr", "20"}});
    EXPECT_EQ(TCodeGenerator::ResultColumns(fields, "<A>", "</A>"),
              (Lines{R"(<TSCOL HEADER="Hdr" WIDTH="20" TEXT="<A>#HTMLEditFormat(C)#</A>">)"}));
    EXPECT_EQ(TCodeGenerator::DetailLines(fields), (Lines{std::string(22, ' ') + "T.C: #HTMLEditFormat(C)#"}));
}

// Texts the author typed reach the page as text, whatever characters they hold, and the
// engine reads none of them as an expression or the end of an attribute.
TEST(Escaping, AuthorTextsInEveryPlace) {
    struct Case {
        const char* name;
        std::string generated;
        std::string expected;
    };
    TFormFieldProperties box = Control("TextBox", R"(say "hi" & <b>)");
    TFormFieldProperties area = Control("TextArea", "</TEXTAREA><script>");
    TFormFieldProperties list = WithOptions("Drop-Down", 1, 1);
    list.Options[0] = {"R&D <x>", R"(a"b)", "Yes"};
    TDBTableFieldsList columns = Fields({{"T", "C", "TEXT", R"(Cost "#1" <b>)", "20"}});
    TFieldPropertiesList props;
    props.Properties(FindOrCreateProperties("T.C", props)).Caption = "Price #";
    for (const Case& c : {
             Case{"hidden", TCodeGenerator::HiddenField("c", R"(a"b<c>&d)"),
                  R"(<INPUT TYPE="hidden" NAME="c" VALUE="a&quot;b&lt;c&gt;&amp;d">)"},
             Case{"message", TCodeGenerator::ValidationField("c", "Integer", "", "", "'quoted'"),
                  R"(<INPUT TYPE="hidden" NAME="c_integer" VALUE="&#39;quoted&#39;">)"},
             Case{
                 "text box", TCodeGenerator::FormControl("c", box)[0],
                 R"(<INPUT TYPE="text" NAME="c" VALUE="say &quot;hi&quot; &amp; &lt;b&gt;" SIZE="50" MAXLENGTH="40">)"},
             Case{"text area", TCodeGenerator::FormControl("c", area)[0],
                  R"(<TEXTAREA NAME="c" COLS="50" ROWS="40">&lt;/TEXTAREA&gt;&lt;script&gt;</TEXTAREA>)"},
             Case{"option", TCodeGenerator::FormControl("c", list)[1],
                  R"(     <OPTION VALUE="a&quot;b" SELECTED>R&amp;D &lt;x&gt;)"},
             Case{"column header", TCodeGenerator::ResultColumns(columns, "", "")[0],
                  R"(<TSCOL HEADER="Cost &quot;##1&quot; &lt;b&gt;" WIDTH="20" TEXT="#HTMLEditFormat(C)#">)"},
             Case{"mail subject", TCodeGenerator::MailBlock("", R"(a"b)", props, columns, R"(Data "#1")", "t")[2],
                  R"(        SUBJECT="Data ""##1""">)"},
             Case{"mail sender", TCodeGenerator::MailBlock("", R"(a"b)", props, columns, "s", "t")[0],
                  R"(<TSMAIL FROM="a""b")"},
             Case{"mail line", TCodeGenerator::MailBlock("", "", props, columns, "s", "t")[3], "Price ##: #C#"},
             Case{"expression string", TCodeGenerator::ExpressionString(R"(a"#b)"), R"("a""##b")"},
         })
        EXPECT_EQ(c.generated, c.expected) << c.name;
}

TEST(Escaping, DetailKeysAreTextOfTheOutputBlock) {
    TDBTableFieldsList fields;
    fields.Add("T.A#<B>", {"T", "A", "TEXT", "", ""});
    EXPECT_EQ(TCodeGenerator::DetailLines(fields)[0], std::string(18, ' ') + "T.A##&lt;B&gt;: #HTMLEditFormat(A)#");
}

// A control opened on a stored row shows the row's value instead of its defaults; it stands
// in an output block, so fixed texts keep their # from the engine.
TEST(RowControls, ShowTheRowsValue) {
    struct Case {
        const char* name;
        TFormFieldProperties properties;
        Lines expected;
    };
    TFormFieldProperties radio = WithOptions("Radio Buttons", 2, 1);
    radio.Options[1] = {"No #2", R"(n"o)", "No"};
    TFormFieldProperties multi = WithOptions("Multi-Select", 1, 1);
    for (
        const Case& c : {
            // A value with a line break is shown in a text area, which keeps it.
            Case{"text box",
                 Control("TextBox", "default"),
                 {"<TSIF FindOneOf(Chr(10) & Chr(13), Row.c) GT 0>"
                  "<TEXTAREA NAME=\"c\" COLS=\"50\" ROWS=\"5\" MAXLENGTH=\"40\">\n#HTMLEditFormat(Row.c)#</TEXTAREA>"
                  R"(<TSELSE><INPUT TYPE="text" NAME="c" VALUE="#HTMLEditFormat(Row.c)#" SIZE="50" MAXLENGTH="40"></TSIF>)"}},
            // The line break after the start tag keeps one that begins the value.
            Case{"text area",
                 Control("TextArea", "default"),
                 {"<TEXTAREA NAME=\"c\" COLS=\"50\" ROWS=\"40\">\n#HTMLEditFormat(Row.c)#</TEXTAREA>"}},
            Case{"hidden",
                 Control("Hidden Field", "fixed"),
                 {R"(<INPUT TYPE="hidden" NAME="c" VALUE="#HTMLEditFormat(Row.c)#">)"}},
            Case{
                "radio",
                radio,
                {R"(<INPUT TYPE="radio" NAME="c" VALUE="v1"#IIf(Row.c IS "v1", DE(" CHECKED"), DE(""))#>x1)",
                 R"(<INPUT TYPE="radio" NAME="c" VALUE="n&quot;o"#IIf(Row.c IS "n""o", DE(" CHECKED"), DE(""))#>No ##2)"}},
            Case{"multi select",
                 multi,
                 {R"(<SELECT NAME="c" SIZE="10" MULTIPLE>)",
                  R"(     <OPTION VALUE="v1"#IIf(ListFind(Row.c, "v1"), DE(" SELECTED"), DE(""))#>x1)",
                  "     </SELECT>"}},
        })
        EXPECT_EQ(TCodeGenerator::FormControl("c", c.properties, "Row.c"), c.expected) << c.name;

    TFieldPropertiesList props;
    props.Properties(FindOrCreateProperties("t.a", props)).Caption = "No. #";
    props.Properties(FindOrCreateProperties("t.b", props)) = Control("TextArea");
    props.Properties(FindOrCreateProperties("t.b", props)).Caption = "b";
    Lines simple = TCodeGenerator::FormFields("SimpleStyle", Fields({{"t", "a", "TEXT", "", ""}, {"t", "b", "TEXT", "", ""}}),
                                              false, props, "Row");
    // What a style puts around a control stays outside a text area, whose text it would join.
    EXPECT_EQ(simple[0].substr(0, 9), "No. ## <T");
    EXPECT_EQ(simple[0].substr(simple[0].size() - 11), "</TSIF><BR>");
    EXPECT_EQ(simple[1], "b <TEXTAREA NAME=\"b\" COLS=\"50\" ROWS=\"40\">\n#HTMLEditFormat(Row.b)#</TEXTAREA><BR>");
}

// A text area takes as many characters as its column holds; without a known size, any.
TEST(TextAreas, TheColumnsSizeIsTheLimit) {
    TFormFieldProperties note = Control("TextArea", "\nfirst");
    note.ColumnSize = 2000;
    EXPECT_EQ(TCodeGenerator::FormControl("note", note),
              Lines{"<TEXTAREA NAME=\"note\" COLS=\"50\" ROWS=\"40\" MAXLENGTH=\"2000\">\n\nfirst</TEXTAREA>"});
    note.ColumnSize = 0;
    EXPECT_EQ(TCodeGenerator::FormControl("note", note)[0].find("MAXLENGTH"), std::string::npos);
}

// A row offers one value per column name: columns of two tables that share a name are
// selected under their form labels and read by them, wherever a page selects them.
TEST(JoinedColumns, ColumnsThatShareANameAreReadByTheirFormLabels) {
    TDBTableFieldsList detail = Fields({{"categories", "id", "INTEGER", "", ""},
                                        {"categories", "name", "TEXT", "", ""},
                                        {"todos", "ID", "INTEGER", "", ""},
                                        {"todos", "title", "TEXT", "", ""}});
    EXPECT_EQ(TCodeGenerator::SelectList(detail),
              "categories.id AS categories__id,categories.name,todos.ID AS todos__ID,todos.title");
    EXPECT_EQ(TCodeGenerator::DetailLines(detail),
              (Lines{std::string(12, ' ') + "categories.id: #HTMLEditFormat(categories__id)#",
                     std::string(10, ' ') + "categories.name: #HTMLEditFormat(name)#",
                     std::string(17, ' ') + "todos.ID: #HTMLEditFormat(todos__ID)#",
                     std::string(14, ' ') + "todos.title: #HTMLEditFormat(title)#"}));
    // The same column twice is no clash; the result columns are named by the whole select list.
    TDBTableFieldsList shown = Fields({{"categories", "id", "INTEGER", "Category", "10"}});
    TDBTableFieldsList selected = Fields({{"categories", "id", "INTEGER", "", ""}, {"categories", "id", "INTEGER", "", ""}});
    EXPECT_EQ(TCodeGenerator::SelectList(selected), "categories.id,categories.id");
    selected.Add("todos.id", {"todos", "id", "INTEGER", "", ""});
    EXPECT_EQ(TCodeGenerator::ResultColumns(shown, "", "", &selected),
              Lines{R"(<TSCOL HEADER="Category" WIDTH="10" TEXT="#HTMLEditFormat(categories__id)#">)"});
    EXPECT_EQ(TCodeGenerator::ResultColumns(shown, "", ""),
              Lines{R"(<TSCOL HEADER="Category" WIDTH="10" TEXT="#HTMLEditFormat(id)#">)"});
}

}  // namespace
}  // namespace tessaro::wizards
