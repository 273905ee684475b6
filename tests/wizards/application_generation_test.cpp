#include "wizards/application_generation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"
#include "wizards/rtf_to_html.h"

namespace tessaro::wizards {
namespace {

std::string Templates() {
    return std::string(TESSARO_SOURCE_DIR) + "/wizards/templates";
}

using ::testing::HasSubstr;
using ::testing::Not;

DataEntryModel EntryModel() {
    DataEntryModel m;
    m.ApplicationTitle = "Staff";
    m.DataSource = {"db", "", ""};
    m.Tables = {"staff"};
    m.ChosenFields.Add("staff.name", {"staff", "name", "varchar(20)", "", ""});
    m.PageStyle = "SimpleStyle";
    m.Header = DefaultHeader("Staff");
    m.Footer = DefaultFooter();
    m.TargetType = "NextPage Generated";
    return m;
}

TEST(DataEntryGeneration, MailBlockOnlyWithARecipientAndTheNextPage) {
    TCodeGenerator g;
    DataEntryModel plain = EntryModel();
    GenerationResult result = GenerateDataEntry(plain, g, Templates());
    ASSERT_TRUE(result.error.empty()) << result.error;
    ASSERT_EQ(result.files.size(), 3u);
    EXPECT_THAT(result.files[1].text, Not(HasSubstr("TSMAIL")));
    EXPECT_THAT(result.files[1].text, Not(HasSubstr("TSLOCATION")));
    EXPECT_THAT(result.files[0].text, Not(HasSubstr("#")));  // every placeholder was filled
    EXPECT_THAT(result.files[0].text, HasSubstr("<CENTER><H1>Staff</H1></CENTER>"));

    DataEntryModel mailed = EntryModel();
    mailed.MailTo = "boss@example.com";
    mailed.MailFrom = "form@example.com";
    mailed.TargetType = "NextPage Existing";
    mailed.NextPageURL = "http://example.com/done";
    result = GenerateDataEntry(mailed, g, Templates());
    EXPECT_THAT(result.files[1].text, HasSubstr("<TSMAIL FROM=\"form@example.com\"\n"));
    EXPECT_THAT(result.files[1].text, HasSubstr("        SUBJECT=\"Data Submition (Staff)\">\n"));
    EXPECT_THAT(result.files[1].text, HasSubstr("name: #name#\n"));
    EXPECT_THAT(result.files[1].text, HasSubstr("<TSLOCATION URL=\"http://example.com/done\">"));
    EXPECT_EQ(result.pictures, (std::vector<std::string>{"entryform.gif", "dataentry.gif"}));
}

TEST(DataEntryGeneration, TitlesAndAddressesAreEscapedWhereTheyLand) {
    TCodeGenerator g;
    DataEntryModel m = EntryModel();
    m.ApplicationTitle = R"(Tom & "Jerry" #1)";
    m.Header = DefaultHeader(m.ApplicationTitle);
    m.DataSource = {R"(d"b#)", "", ""};
    m.MailTo = R"(x"@y)";
    m.TargetType = "NextPage Existing";
    m.NextPageURL = R"(http://e.com/a"b#top)";
    GenerationResult result = GenerateDataEntry(m, g, Templates());
    ASSERT_EQ(result.files.size(), 3u) << result.error;
    EXPECT_THAT(result.files[0].text, HasSubstr("<CENTER><H1>Tom &amp; &quot;Jerry&quot; #1</H1></CENTER>"));
    EXPECT_THAT(result.files[1].text, HasSubstr(R"(<TSINSERT DATASOURCE="d""b##" TABLENAME="staff")"));
    EXPECT_THAT(result.files[1].text, HasSubstr(R"(TO="x""@y")"));
    EXPECT_THAT(result.files[1].text, HasSubstr(R"x(SUBJECT="Data Submition (Tom & ""Jerry"" ##1)">)x"));
    EXPECT_THAT(result.files[1].text, HasSubstr(R"(<TSLOCATION URL="http://e.com/a""b##top">)"));
    EXPECT_THAT(result.files[2].text, HasSubstr("<TITLE>Tom &amp; &quot;Jerry&quot; #1</TITLE>"));
    EXPECT_THAT(result.files[2].text, HasSubstr(R"(<TSQUERY NAME="Entries" DATASOURCE="d""b##">)"));
}

// The key of the table lets the list link each row to the form opened on it, and the
// posted form then changes that row instead of adding one.
TEST(DataEntryGeneration, StoredRowsAreListedAndChangedThroughTheirKey) {
    TCodeGenerator g;
    DataEntryModel m = EntryModel();
    m.PageStyle = "TabularStyle";
    m.AllFields.Add("staff.id", {"staff", "id", "INTEGER", "", ""});
    m.AllFields.Add("staff.name", {"staff", "name", "varchar(20)", "", ""});
    m.ChosenFields.Add("staff.id", {"staff", "id", "INTEGER", "", ""});
    m.KeyFields = {"id"};
    GenerationResult result = GenerateDataEntry(m, g, Templates());
    ASSERT_EQ(result.files.size(), 3u) << result.error;
    const std::string& form = result.files[0].text;
    EXPECT_THAT(
        form, HasSubstr("<TSIF ParameterExists(URL.id)>\n<TSQUERY NAME=\"EntryRow\" DATASOURCE=\"db\" MAXROWS=\"1\">\n"
                        "SELECT name,id FROM staff WHERE id = #Val(URL.id)#\n</TSQUERY>\n</TSIF>\n"));
    std::size_t edit = form.find("<TSOUTPUT QUERY=\"EntryRow\">");
    std::size_t fresh = form.find("\n<TSELSE>\n");
    ASSERT_NE(edit, std::string::npos);
    ASSERT_NE(fresh, std::string::npos);
    std::string editPart = form.substr(edit, fresh - edit);
    EXPECT_THAT(editPart, HasSubstr(R"(<INPUT TYPE="hidden" NAME="EntryAction" VALUE="Update">)"));
    EXPECT_THAT(editPart, HasSubstr(R"(<INPUT TYPE="hidden" NAME="id" VALUE="#HTMLEditFormat(EntryRow.id)#">)"));
    EXPECT_THAT(editPart, HasSubstr(R"(<INPUT TYPE="text" NAME="name" VALUE="#HTMLEditFormat(EntryRow.name)#")"));
    // A stored value with a line break is edited in a text area instead.
    EXPECT_THAT(editPart, HasSubstr("<TSIF FindOneOf(Chr(10) & Chr(13), EntryRow.name) GT 0><TEXTAREA NAME=\"name\""));
    EXPECT_THAT(editPart, Not(HasSubstr(R"(<INPUT TYPE="text" NAME="id")")));  // the key is not edited
    EXPECT_THAT(form.substr(fresh), HasSubstr(R"(<INPUT TYPE="text" NAME="id" SIZE="50")"));

    const std::string& store = result.files[1].text;
    EXPECT_THAT(store, HasSubstr("<TSIF ParameterExists(FORM.EntryAction)>\n"
                                 "<TSUPDATE DATASOURCE=\"db\" TABLENAME=\"staff\" FORMFIELDS=\"name,id\">\n<TSELSE>\n"
                                 "<TSINSERT DATASOURCE=\"db\" TABLENAME=\"staff\" FORMFIELDS=\"name,id\">\n</TSIF>"));

    const std::string& list = result.files[2].text;
    EXPECT_EQ(result.files[2].name, "EntryList.TSM");
    EXPECT_THAT(list, HasSubstr("SELECT name,id FROM staff ORDER BY id\n"));
    EXPECT_THAT(list, HasSubstr("<TR><TH></TH><TH>name</TH><TH>id</TH></TR>"));
    EXPECT_THAT(list,
                HasSubstr(R"(<TR><TD><A HREF="EntryForm.TSM?id=#URLEncodedFormat(Entries.id)#">Change</A></TD>)"
                          R"(<TD>#HTMLEditFormat(Entries.name)#</TD><TD>#HTMLEditFormat(Entries.id)#</TD></TR>)"));
}

// A hidden field keeps a stored row's value unless the author gave it a fixed one.
TEST(DataEntryGeneration, HiddenFieldsOfANewAndOfAStoredRow) {
    TCodeGenerator g;
    DataEntryModel m = EntryModel();
    m.ChosenFields.Add("staff.note", {"staff", "note", "TEXT", "", ""});
    m.ChosenFields.Add("staff.source", {"staff", "source", "TEXT", "", ""});
    m.FieldProperties.Properties(FindOrCreateProperties("staff.note", m.FieldProperties)).ControlType = "Hidden Field";
    TFormFieldProperties& source =
        m.FieldProperties.Properties(FindOrCreateProperties("staff.source", m.FieldProperties));
    source.ControlType = "Hidden Field";
    source.Content = "web #1";
    GenerationResult keyless = GenerateDataEntry(m, g, Templates());
    ASSERT_EQ(keyless.files.size(), 3u) << keyless.error;
    EXPECT_THAT(keyless.files[0].text, HasSubstr("<INPUT TYPE=\"hidden\" NAME=\"note\" VALUE=\"\">\n"
                                                 "<INPUT TYPE=\"hidden\" NAME=\"source\" VALUE=\"web #1\">\n"));

    m.KeyFields = {"id"};
    const std::string form = GenerateDataEntry(m, g, Templates()).files[0].text;
    std::size_t edit = form.find("<TSOUTPUT QUERY=\"EntryRow\">"), fresh = form.find("<TSELSE>");
    ASSERT_LT(edit, fresh);
    EXPECT_LT(form.find("<FORM"), edit);
    EXPECT_THAT(form.substr(edit, fresh - edit),
                HasSubstr("<INPUT TYPE=\"hidden\" NAME=\"note\" VALUE=\"#HTMLEditFormat(EntryRow.note)#\">\n"
                          "<INPUT TYPE=\"hidden\" NAME=\"source\" VALUE=\"web ##1\">\n"))
        << form;
    EXPECT_THAT(form.substr(fresh), HasSubstr("<INPUT TYPE=\"hidden\" NAME=\"note\" VALUE=\"\">\n"
                                              "<INPUT TYPE=\"hidden\" NAME=\"source\" VALUE=\"web #1\">\n"));
    // Each branch has its own: none stands outside them.
    EXPECT_EQ(form.find("NAME=\"source\""), form.find("NAME=\"source\"", edit));
}

TEST(DataEntryGeneration, KeysOfTextAndOfSeveralColumns) {
    TCodeGenerator g;
    DataEntryModel m = EntryModel();
    m.AllFields.Add("staff.code", {"staff", "code", "CHAR(4)", "", ""});
    m.AllFields.Add("staff.n", {"staff", "n", "SMALLINT", "", ""});
    m.KeyFields = {"code", "n"};
    GenerationResult result = GenerateDataEntry(m, g, Templates());
    ASSERT_EQ(result.files.size(), 3u) << result.error;
    EXPECT_THAT(result.files[0].text, HasSubstr("<TSIF ParameterExists(URL.code) AND ParameterExists(URL.n)>"));
    EXPECT_THAT(result.files[0].text, HasSubstr("SELECT name,code,n FROM staff WHERE code = '#URL.code#' AND n = "
                                                "#Val(URL.n)#\n"));
    EXPECT_THAT(result.files[2].text, HasSubstr("EntryForm.TSM?code=#URLEncodedFormat(Entries.code)#&amp;"
                                                "n=#URLEncodedFormat(Entries.n)#"));
}

TEST(DataEntryGeneration, WithoutAKeyRowsAreOnlyListed) {
    TCodeGenerator g;
    DataEntryModel m = EntryModel();
    GenerationResult result = GenerateDataEntry(m, g, Templates());
    ASSERT_EQ(result.files.size(), 3u) << result.error;
    EXPECT_THAT(result.files[0].text, Not(HasSubstr("EntryRow")));
    EXPECT_THAT(result.files[2].text, HasSubstr("SELECT name FROM staff\n"));
    EXPECT_THAT(result.files[2].text, HasSubstr("<TR><TD>#HTMLEditFormat(Entries.name)#</TD></TR>"));
}

TEST(DataEntryGeneration, AMissingTemplateIsReported) {
    TCodeGenerator g;
    DataEntryModel m = EntryModel();
    GenerationResult result = GenerateDataEntry(m, g, "/no/such/folder");
    EXPECT_EQ(result.error, "Cannot open file /no/such/folder/wiz2_1.txt");
    EXPECT_TRUE(result.files.empty());
}

DrillDownModel DrillModel() {
    DrillDownModel m;
    m.ApplicationTitle = "Finder";
    m.DataSource = {"db", "", ""};
    m.SearchFields.Add("T.C", {"T", "C", "VARCHAR", "LIKE xxx*", ""});
    m.ResultFields.Add("T.C", {"T", "C", "VARCHAR", "Hdr", "20"});
    m.DetailFields.Add("T.C", {"T", "C", "VARCHAR", "", ""});
    m.UniqueId = {"T", "ID", "INTEGER", "", ""};
    return m;
}

TEST(DrillDownGeneration, OneTableNeedsNoJoins) {
    DrillDownModel m = DrillModel();
    ASSERT_TRUE(CheckDrillDownJoins(m));
    TCodeGenerator g;
    GenerationResult result = GenerateDrillDown(m, g, Templates());
    ASSERT_TRUE(result.error.empty()) << result.error;
    const std::string& results = result.files[1].text;
    EXPECT_THAT(results, HasSubstr("SELECT T.C,T.ID\nFROM T\nWHERE  0=0 \n"));
    EXPECT_EQ(results.rfind("<TSPARAM NAME=\"T__C\" DEFAULT=\"\">\n", 0), 0u) << results;
    EXPECT_THAT(results, HasSubstr("       AND T.C LIKE '#T__C#%' \n"));
    EXPECT_THAT(
        results,
        HasSubstr(
            R"(<TSCOL HEADER="Hdr" WIDTH="20" TEXT="<A HREF=""Detail.TSM?T__ID=#URLEncodedFormat(ID)#"">#HTMLEditFormat(C)#</A>">)"));
    const std::string& detail = result.files[2].text;
    EXPECT_THAT(detail, HasSubstr("WHERE  T.ID = #Val(T__ID)# \n"));
    EXPECT_THAT(detail, HasSubstr(std::string(22, ' ') + "T.C: #HTMLEditFormat(C)#\n"));
}

TEST(DrillDownGeneration, UnconnectedTablesAreRefused) {
    DrillDownModel m = DrillModel();
    m.DetailFields.Add("U.D", {"U", "D", "TEXT", "", ""});
    bool results = false, detail = true;
    EXPECT_FALSE(CheckDrillDownJoins(m, &results, &detail));
    EXPECT_TRUE(results);
    EXPECT_FALSE(detail);
    m.Joins.Add("T.ID = U.TID", {"T", "U"});
    EXPECT_TRUE(CheckDrillDownJoins(m));
    TCodeGenerator g;
    GenerationResult result = GenerateDrillDown(m, g, Templates());
    EXPECT_THAT(result.files[2].text, HasSubstr("FROM T,U\nWHERE T.ID = U.TID AND  T.ID"));
}

// A to-do of category 2 shows category 2: the detail and result pages of a join read every
// column that another table shares the name of by its own form label.
TEST(DrillDownGeneration, JoinedTablesColumnsOfOneNameKeepTheirOwnValues) {
    DrillDownModel m;
    m.ApplicationTitle = "To-dos";
    m.DataSource = {"db", "", ""};
    m.Joins.Add("todos.category_id = categories.id", {"todos", "categories"});
    m.SearchFields.Add("todos.title", {"todos", "title", "VARCHAR", "LIKE *xxx*", ""});
    m.ResultFields.Add("categories.id", {"categories", "id", "INTEGER", "Category", "10"});
    m.ResultFields.Add("todos.title", {"todos", "title", "VARCHAR", "Title", "20"});
    m.DetailFields.Add("categories.id", {"categories", "id", "INTEGER", "", ""});
    m.DetailFields.Add("categories.name", {"categories", "name", "VARCHAR", "", ""});
    m.DetailFields.Add("todos.id", {"todos", "id", "INTEGER", "", ""});
    m.UniqueId = {"todos", "id", "INTEGER", "", ""};
    ASSERT_TRUE(CheckDrillDownJoins(m));
    TCodeGenerator g;
    GenerationResult result = GenerateDrillDown(m, g, Templates());
    ASSERT_TRUE(result.error.empty()) << result.error;
    const std::string& results = result.files[1].text;
    EXPECT_THAT(results, HasSubstr("SELECT categories.id AS categories__id,todos.title,todos.id AS todos__id\n"));
    EXPECT_THAT(results, HasSubstr(R"(Detail.TSM?todos__id=#URLEncodedFormat(todos__id)#"">#HTMLEditFormat(categories__id)#</A>)"));
    EXPECT_THAT(results, HasSubstr("#HTMLEditFormat(title)#</A>"));
    const std::string& detail = result.files[2].text;
    EXPECT_THAT(detail, HasSubstr("SELECT categories.id AS categories__id,categories.name,todos.id AS todos__id\n"));
    EXPECT_THAT(detail, HasSubstr("categories.id: #HTMLEditFormat(categories__id)#\n"));
    EXPECT_THAT(detail, HasSubstr("todos.id: #HTMLEditFormat(todos__id)#\n"));
    EXPECT_THAT(detail, HasSubstr("categories.name: #HTMLEditFormat(name)#\n"));
    EXPECT_THAT(detail, HasSubstr("todos.id = #Val(todos__id)#"));
}

// Generation gives the fields the author left alone the controls their columns suggest.
TEST(DataEntryGeneration, FieldsFollowTheirColumnsUnlessTheAuthorChoseOtherwise) {
    DataEntryModel m = EntryModel();
    m.ChosenFields.Add("staff.note", {"staff", "note", "VARCHAR(2000)", "", "", -1, 2000});
    m.ChosenFields.Add("staff.code", {"staff", "code", "CHAR(4)", "", "", 1, 4});
    m.ChosenFields.Add("staff.memo", {"staff", "memo", "TEXT", "", "", -1, 0});
    m.FieldProperties.Properties(FindOrCreateProperties("staff.memo", m.FieldProperties)).ControlType = "TextBox";
    TCodeGenerator g;
    GenerationResult result = GenerateDataEntry(m, g, Templates());
    ASSERT_TRUE(result.error.empty()) << result.error;
    const std::string& form = result.files[0].text;
    EXPECT_THAT(form, HasSubstr(R"(note <TEXTAREA NAME="note" COLS="50" ROWS="5" MAXLENGTH="2000"></TEXTAREA><BR>)"));
    EXPECT_THAT(form, HasSubstr(R"(code <INPUT TYPE="text" NAME="code" SIZE="4" MAXLENGTH="4"><BR>)"));
    EXPECT_THAT(form, HasSubstr(R"(memo <INPUT TYPE="text" NAME="memo" SIZE="50" MAXLENGTH="40"><BR>)"));
}

TEST(CompletionText, NamesAreFilledIn) {
    std::string rtf = tessaro::test::ReadFileText(Templates() + "/wizard1.rtf");
    std::string text = FillCompletionText(rtf, {{"#DataEntryHTMLFile#", "/w/EntryForm.TSM"},
                                                {"#DataEntryTSMLFile#", "/w/DataEntry.TSM"},
                                                {"#EntryListFile#", "/w/EntryList.TSM"},
                                                {"#HTMLFileName#", "EntryForm.TSM"}});
    EXPECT_THAT(text, HasSubstr("{\\i /w/EntryForm.TSM}"));
    EXPECT_THAT(text, Not(HasSubstr("#")));
    text = FillCompletionText("{\\i #DataEntryHTMLFile#}\\par", {{"#DataEntryHTMLFile#", "/w/a{b}\\c.TSM"}});
    EXPECT_EQ(text, "{\\i /w/a\\{b\\}\\\\c.TSM}\\par");
    EXPECT_EQ(RtfToHtml(text), "<I>/w/a{b}\\c.TSM</I><BR>\n");
}

class CopyFileTest : public TempFolderTest {};

TEST_F(CopyFileTest, CopiesIntoAFolderAndReportsBothEnds) {
    std::string big(8192 * 2 + 5, 'x');
    std::ofstream(dir_ + "/src.gif", std::ios::binary) << big;
    std::ofstream(dir_ + "/exact.gif", std::ios::binary) << std::string(8192, 'y');
    tessaro::test::TempFolder target;
    CopyFileToDirectory(dir_ + "/src.gif", target.path());
    CopyFileToDirectory(dir_ + "/exact.gif", target.path());
    EXPECT_EQ(tessaro::test::ReadFileText(target.path() + "/src.gif"), big);
    EXPECT_EQ(tessaro::test::ReadFileText(target.path() + "/exact.gif").size(), 8192u);
    try {
        CopyFileToDirectory(dir_ + "/none.gif", target.path());
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir_ + "/none.gif");
    }
    try {
        CopyFileToDirectory(dir_ + "/src.gif", dir_ + "/missing/out.gif");
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir_ + "/missing/out.gif");
    }
}

}  // namespace
}  // namespace tessaro::wizards

namespace tessaro::wizards {
namespace {

TEST(RtfToHtml, ParagraphsEmphasisGroupsAndHexCharacters) {
    EXPECT_EQ(RtfToHtml("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 {\\b Ready.}\\par a {\\i x<y} \\'95 caf\\'e9\\par}"),
              "<B>Ready.</B><BR>\na <I>x&lt;y</I> &bull; caf&#233;<BR>\n");
    EXPECT_EQ(RtfToHtml("\\b bold\\b0  plain"), "<B>bold</B> plain");
    EXPECT_EQ(RtfToHtml("{\\b {\\i both} b}"), "<B><I>both</I> b</B>");
}

}  // namespace
}  // namespace tessaro::wizards
