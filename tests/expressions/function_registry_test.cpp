// The function registry: the table, name lookup, and the argument checks with their exact
// messages.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>

#include "engine/expressions/function_registry.h"
#include "tests/expressions/expression_test_support.h"

namespace {

using exprtest::Catch;

TEST(FunctionRegistry, TableHasEveryFunctionWithItsCount) {
    const CFunctionRegistry& registry = exprtest::Driver().Functions();
    EXPECT_EQ(registry.size(), 139u);
    std::size_t n = 0;
    const FunctionTableRow* rows = BuiltinFunctionTable(n);
    ASSERT_EQ(n, 139u);
    std::map<int, int> byCount;
    std::set<std::string> upper;
    for (std::size_t i = 0; i < n; ++i) {
        ++byCount[rows[i].count];
        std::string key = rows[i].name;
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(upper.insert(key).second) << rows[i].name;
        const CTSFunction* f = registry.Lookup(rows[i].name);
        ASSERT_NE(f, nullptr) << rows[i].name;
        EXPECT_EQ(f->GetName(), rows[i].name);
    }
    const std::map<int, int> expected{{0, 6}, {1, 69}, {2, 24}, {3, 11}, {4, 2}, {-1, 8}, {-2, 14}, {-3, 4}, {-4, 1}};
    EXPECT_EQ(byCount, expected);
    EXPECT_STREQ(rows[0].name, "Abs");
    EXPECT_STREQ(rows[138].name, "GetTemplatePath");
}

TEST(FunctionRegistry, NamesAreFoundWithoutRegardToCase) {
    const CFunctionRegistry& registry = exprtest::Driver().Functions();
    EXPECT_EQ(registry.Lookup("abs"), registry.Lookup("ABS"));
    EXPECT_EQ(registry.Lookup("Abs"), registry.Lookup("aBs"));
    EXPECT_NE(registry.Lookup("abs"), nullptr);
    EXPECT_EQ(registry.Lookup("Foo"), nullptr);
}

TEST(FunctionRegistry, UnknownNameRepeatsTheNameAsWrittenWithoutALogLine) {
    exprtest::LogCapture log;
    ExprYaccStackElement result;
    const auto f = Catch([&] { exprtest::Driver().Functions().FindFunction(nullptr, "fOo", nullptr, &result); });
    EXPECT_EQ(f.code, 0x400Du);
    EXPECT_EQ(f.text,
              "There is no Tessaro function named fOo. Check the spelling of the function name in the Tessaro "
              "documentation");
    EXPECT_TRUE(exprtest::LogCapture::Lines().empty());
}

CExprArgumentList Args(std::initializer_list<const char*> texts) {
    CExprArgumentList list;
    for (const char* t : texts) {
        SSRefPtr<ExprYaccStackElement> e(new ExprYaccStackElement());
        e->SetText(t);
        list.Append(e);
    }
    return list;
}

exprtest::Failure Check(const char* name, CExprArgumentList* args) {
    const CTSFunction* f = exprtest::Driver().Functions().Lookup(name);
    EXPECT_NE(f, nullptr) << name;
    return Catch([&] { f->CheckArgs(args); });
}

TEST(FunctionRegistry, CountMessages) {
    auto one = Args({"1"});
    auto three = Args({"a", "1", "2"});
    auto onlyText = Args({"a"});
    auto wrongAndFew = Args({"x"});
    EXPECT_EQ(Check("Pi", &one).text, "The function Pi takes no arguments");
    EXPECT_EQ(Check("Left", &three).text, "The function Left takes  2 arguments(s)");
    EXPECT_EQ(Check("Find", &onlyText).text, "The function Find takes at least 2 arguments(s)");
    EXPECT_EQ(Check("Mid", &wrongAndFew).code, 0x4009u) << "the count is checked before the arguments";
    EXPECT_EQ(Check("Abs", nullptr).text, "The function Abs takes  1 arguments(s)");
    EXPECT_FALSE(Check("Pi", nullptr).thrown);
    auto many = Args({"abc", "b", "1", "x", "not checked"});
    EXPECT_FALSE(Check("Replace", &many).thrown) << "a fifth argument is never checked";
}

struct TypeCase {
    const char* function;
    std::vector<const char*> args;
    const char* message;  // null: accepted
};

TEST(FunctionRegistry, TypeMessages) {
    const TypeCase cases[] = {
        {"Abs", {"x"}, "Parameter 1 of function Abs which is now \"x\" must be a real number"},
        {"Log", {"0"}, "Parameter 1 of function Log which is now \"0\" must be a positive real number"},
        {"Log", {"x"}, "Parameter 1 of function Log which is now \"x\" must be a real number"},
        {"Sqr", {"-1"}, "Parameter 1 of function Sqr which is now \"-1\" must be a non-negative real number"},
        {"BitMaskRead", {"1", "x", "1"}, "Parameter 2 of function BitMaskRead which is now \"x\" must be an integer"},
        {"BitMaskRead",
         {"1", "32", "1"},
         "Parameter 2 of function BitMaskRead which is now \"32\" must be an integer in the range 0 to 31 inclusive"},
        {"IIf", {"maybe", "a", "b"}, "Parameter 1 of function IIf which is now \"maybe\" must be a boolean"},
        {"Year", {"abc"}, "Parameter 1 of function Year which is now \"abc\" must be a date/time value"},
        {"DatePart",
         {"yy", "1"},
         "Parameter 1 of function DatePart which is now \"yy\" must be a valid date/time part specifier"},
        {"SetVariable",
         {"1a", "v"},
         "Parameter 1 of function SetVariable which is now \"1a\" must be a syntactically valid variable name"},
        {"InputBaseN",
         {"1", "1"},
         "Parameter 2 of function InputBaseN which is now \"1\" must be an integer in the range 2 to 36 inclusive"},
        {"InputBaseN",
         {"1", "37"},
         "Parameter 2 of function InputBaseN which is now \"37\" must be an integer in the range 2 to 36 inclusive"},
        {"InputBaseN", {"1", "2"}, nullptr},
        {"InputBaseN", {"1", "36"}, nullptr},
        {"DayOfWeekAsString",
         {"0"},
         "Parameter 1 of function DayOfWeekAsString which is now \"0\" must be a day of the week (an integer in the "
         "range 1 to 7 inclusive)"},
        {"DayOfWeekAsString",
         {"8"},
         "Parameter 1 of function DayOfWeekAsString which is now \"8\" must be a day of the week (an integer in the "
         "range 1 to 7 inclusive)"},
        {"DayOfWeekAsString", {"1"}, nullptr},
        {"DayOfWeekAsString", {"7"}, nullptr},
        {"MonthAsString",
         {"0"},
         "Parameter 1 of function MonthAsString which is now \"0\" must be a month number (an integer in the range 1 "
         "to 12 inclusive)"},
        {"MonthAsString",
         {"13"},
         "Parameter 1 of function MonthAsString which is now \"13\" must be a month number (an integer in the range 1 "
         "to 12 inclusive)"},
        {"RepeatString",
         {"a", "-1"},
         "Parameter 2 of function RepeatString which is now \"-1\" must be a non-negative integer"},
        {"Left", {"a", "0"}, "Parameter 2 of function Left which is now \"0\" must be a positive integer"},
        {"ExpandPath", {"a"}, nullptr},
        {"ExpandPath", {".x"}, nullptr},
        {"ExpandPath", {"ab:c"}, nullptr},
    };
    for (const TypeCase& c : cases) {
        CExprArgumentList list;
        for (const char* t : c.args) {
            SSRefPtr<ExprYaccStackElement> e(new ExprYaccStackElement());
            e->SetText(t);
            list.Append(e);
        }
        const auto f = Check(c.function, &list);
        if (c.message == nullptr) {
            EXPECT_FALSE(f.thrown) << c.function << ": " << f.text;
        } else {
            EXPECT_EQ(f.code, 0x400Au) << c.function;
            EXPECT_EQ(f.text, c.message);
        }
    }
}

TEST(FunctionRegistry, RelativePathCode) {
    const char kWords[] =
        "a relative path. Relative paths cannot be empty strings. Relative paths cannot start with a "
        "forward slash (/), backslash (\\), or a drive name, e.g., \"C:\".";
    for (const char* path : {"", "/x", "\\x", "C:x"}) {
        auto list = Args({path});
        const auto f = Check("ExpandPath", &list);
        EXPECT_EQ(f.text,
                  std::string("Parameter 1 of function ExpandPath which is now \"") + path + "\" must be " + kWords);
    }
}

TEST(FunctionRegistry, ConversionsOfTheChecksStayCached) {
    auto list = Args({"2.5"});
    ASSERT_FALSE(Check("Abs", &list).thrown);
    EXPECT_TRUE(list[0]->outType & expr_type::kReal);
    EXPECT_DOUBLE_EQ(list[0]->real, 2.5);
}

class Probe : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList*, ExprYaccStackElement* result) override { result->SetInteger(1); }
};

std::unique_ptr<CTSFunction> MakeProbe() {
    return std::make_unique<Probe>();
}

// A function whose body is missing from a build answers with a clear error, not a crash.
TEST(FunctionRegistry, UnavailableFunctionNamesItself) {
    CUnavailableFunction missing;
    missing.Initialize("Missing", 0, 0);
    ExprYaccStackElement result;
    const auto f = Catch([&] { missing.DoIt(nullptr, nullptr, &result); });
    EXPECT_EQ(f.code, 0x4014u);
    EXPECT_EQ(f.text, "The function Missing is not available in this version of Tessaro");
}

TEST(FunctionRegistry, InitializeRefusesTypeCodesAbove16) {
    exprtest::LogCapture log;
    Probe probe;
    const auto f = Catch([&] { probe.Initialize("Probe", 1, PackArgTypes(17)); });
    EXPECT_EQ(f.code, 0x800Bu);
    EXPECT_EQ(f.text, "Invalid argument type");
    ASSERT_EQ(exprtest::LogCapture::Lines().size(), 1u);
    EXPECT_EQ(exprtest::LogCapture::Lines()[0].first, "CTSFunction::Initialize");
    EXPECT_EQ(exprtest::LogCapture::Lines()[0].second, "Invalid argument type 17");
    auto list = Args({"x"});
    const auto g = Catch([&] { probe.CheckArgs(&list); });
    EXPECT_EQ(g.code, 0x800Bu) << "the code stays stored and fails the check too";
}

TEST(FunctionRegistry, RegisteringAgainReplacesTheEntry) {
    CFunctionRegistry registry;
    auto a = std::make_unique<Probe>();
    a->Initialize("Twice", 0, 0);
    auto b = std::make_unique<Probe>();
    b->Initialize("TWICE", 0, 0);
    CTSFunction* second = b.get();
    registry.RegisterFunction(std::move(a));
    registry.RegisterFunction(std::move(b));
    EXPECT_EQ(registry.size(), 1u);
    EXPECT_EQ(registry.Lookup("twice"), second);
    ExprYaccStackElement result;
    registry.FindFunction(nullptr, "twice", nullptr, &result);
    EXPECT_EQ(result.AsInt(), 1);
}

TEST(FunctionRegistry, BuiltinTableRefusesANameTwiceWhateverItsCase) {
    const FunctionTableRow once[] = {{"Twice", 0, PackArgTypes(), answer::kArguments, MakeProbe},
                                     {"Other", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeProbe}};
    EXPECT_EQ(BuildFunctionRegistry(once)->size(), 2u);
    const FunctionTableRow twice[] = {{"Twice", 0, PackArgTypes(), answer::kArguments, MakeProbe},
                                      {"TWICE", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeProbe}};
    try {
        BuildFunctionRegistry(twice);
        FAIL() << "a second row of the same name was taken";
    } catch (const std::logic_error& e) {
        EXPECT_NE(std::string(e.what()).find("TWICE"), std::string::npos) << e.what();
    }
    EXPECT_NO_THROW(BuildFunctionRegistry()) << "the built-in table names every function once";
}

}  // namespace

namespace {

// The functions whose answer reads state the request decides (its variables, the template
// it runs, the visitor's client variables, the files, the clock, the random state), listed
// apart from the table that says it.
TEST(FunctionRegistry, EveryRowSaysWhatItsAnswerIsMadeOf) {
    const std::set<std::string> requestState = {"ParameterExists",
                                                "FileExists",
                                                "Now",
                                                "Randomize",
                                                "Rand",
                                                "RandRange",
                                                "GetTemplatePath",
                                                "ExpandPath",
                                                "GetTempFile",
                                                "GetTempDirectory",
                                                "DeleteClientVariable",
                                                "GetClientVariablesList"};
    const std::set<std::string> queryCells = {"ValueList", "QuotedValueList"};
    std::size_t n = 0;
    const FunctionTableRow* rows = BuiltinFunctionTable(n);
    for (std::size_t i = 0; i < n; ++i) {
        const FunctionAnswer expected = requestState.count(rows[i].name) ? FunctionAnswer::kRequestState
                                        : queryCells.count(rows[i].name) ? FunctionAnswer::kQueryCells
                                                                         : FunctionAnswer::kArguments;
        EXPECT_EQ(rows[i].answer, expected) << rows[i].name;
        EXPECT_EQ(exprtest::Driver().Functions().Lookup(rows[i].name)->GetAnswer(), expected) << rows[i].name;
    }
}

}  // namespace
