#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/server/field_rules.h"
#include "engine/server/form_field_list.h"
#include "support/web_exception.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct Outcome {
    bool passed;
    std::string list;
    std::string page;
};

Outcome RunRules(CFormFieldList& form) {
    auto rules = CFieldRuleSet::CreateStandard();
    Outcome out;
    out.passed = rules->WriteErrorPage(form, "", out.list, "", out.page);
    return out;
}

void Fill(CFormFieldList& form, const Fields& fields) {
    for (const auto& [name, value] : fields) form.Add(name, value);
}

TEST(FieldRules, PassingValuesAreRewritten) {
    const struct {
        Fields fields;
        const char* field;
        const char* expected;
    } cases[] = {
        {{{"AGE", " 42 "}, {"AGE_INTEGER", ""}}, "AGE", "42"},
        {{{"AGE", "$1,200"}, {"AGE_INTEGER", ""}}, "AGE", "1200"},
        {{{"AGE", "12.7"}, {"AGE_INTEGER", ""}}, "AGE", "12"},
        {{{"AGE", "-12.7"}, {"AGE_INTEGER", ""}}, "AGE", "-12"},
        {{{"AGE", "2147483647"}, {"AGE_INTEGER", ""}}, "AGE", "2147483647"},
        {{{"X", "3.5"}, {"X_FLOAT", ""}}, "X", "3.5"},
        {{{"X", "0.1234567"}, {"X_FLOAT", ""}}, "X", "0.1234567"},
        // Whole numbers stay whole, and exact past a double's precision.
        {{{"X", "1"}, {"X_FLOAT", ""}}, "X", "1"},
        {{{"X", "+9007199254740993"}, {"X_FLOAT", ""}}, "X", "9007199254740993"},
        {{{"X", " $1,234.50 "}, {"X_FLOAT", ""}}, "X", "1234.50"},
        {{{"X", ""}, {"X_FLOAT", ""}}, "X", ""},
        {{{"PRICE", "12.5"}, {"PRICE_RANGE", "min=10 max = 20"}}, "PRICE", "12.5"},
        {{{"PRICE", " 10 "}, {"PRICE_RANGE", "min=10 max = 20"}}, "PRICE", "10"},
        {{{"PRICE", "20"}, {"PRICE_RANGE", "MAX=20"}}, "PRICE", "20"},
        {{{"PRICE", ""}, {"PRICE_RANGE", "MIN="}}, "PRICE", ""},
        // Wider than a whole number but inside the picture: written out in full.
        {{{"PRICE", "1e30"}, {"PRICE_RANGE", "MIN=1"}}, "PRICE", "1000000000000000019884624838656"},
        {{{"START", "March 3rd, 1997"}, {"START_DATE", ""}}, "START", "{d '1997-03-03'}"},
        {{{"START", "03/04/1997"}, {"START_DATE", ""}}, "START", "{d '1997-03-04'}"},
        {{{"START", "03/04/1997"}, {"START_EURODATE", ""}}, "START", "{d '1997-04-03'}"},
        {{{"START", "CurrentDate( )"}, {"START_DATE", ""}}, "START", "CurrentDate( )"},
        {{{"START", "{ts '1997-03-04 10:00:00'}"}, {"START_DATE", ""}}, "START", "{ts '1997-03-04 10:00:00'}"},
        {{{"T", "3 p.m."}, {"T_TIME", ""}}, "T", "{t '15:00:00'}"},
        {{{"T", "09:05:07"}, {"T_TIME", ""}}, "T", "{t '09:05:07'}"},
        {{{"NAME", " "}, {"NAME_REQUIRED", ""}}, "NAME", " "},
    };
    for (const auto& c : cases) {
        CFormFieldList form;
        Fill(form, c.fields);
        Outcome out = RunRules(form);
        EXPECT_TRUE(out.passed) << c.fields[0].second << ": " << out.list;
        EXPECT_EQ(form.GetValue(c.field), c.expected) << c.fields[0].second;
    }
}

TEST(FieldRules, FailuresListTheirProblems) {
    const struct {
        Fields fields;
        const char* list;
    } cases[] = {
        {{{"NAME_REQUIRED", ""}}, "<UL><LI>A value must be entered for the <B>Name</B> field.<P></UL>"},
        {{{"NAME", ""}, {"NAME_REQUIRED", " Please give a name "}}, "<UL><LI>Please give a name<P></UL>"},
        {{{"AGE", "4 2"}, {"AGE_INTEGER", ""}},
         "<UL><LI>Data entered in the <B>Age</B> field must be a number (you entered '4 2').<P></UL>"},
        {{{"AGE", "3000000000"}, {"AGE_INTEGER", ""}},
         "<UL><LI>Data entered in the <B>Age</B> field must be a number (you entered '3000000000').<P></UL>"},
        {{{"AGE", "nan"}, {"AGE_FLOAT", ""}},
         "<UL><LI>Data entered in the <B>Age</B> field must be a number (you entered 'nan').<P></UL>"},
        {{{"AGE", "0x10"}, {"AGE_FLOAT", ""}},
         "<UL><LI>Data entered in the <B>Age</B> field must be a number (you entered '0x10').<P></UL>"},
        {{{"PRICE", "25"}, {"PRICE_RANGE", "min=10 max = 20"}},
         "<UL><LI>The value entered for the <B>Price</B> field must be between 10 and 20 (your entry was 25).<P></UL>"},
        {{{"PRICE", "9.5"}, {"PRICE_RANGE", "MIN=9.75"}},
         "<UL><LI>The value entered for the <B>Price</B> field must be greater than 9.75 (your entry was "
         "9.5).<P></UL>"},
        {{{"PRICE", "21"}, {"PRICE_RANGE", "max=20"}},
         "<UL><LI>The value entered for the <B>Price</B> field must be less than 20 (your entry was 21).<P></UL>"},
        {{{"PRICE", "abc"}, {"PRICE_RANGE", "max=20"}},
         "<UL><LI>Data entered in the <B>Price</B> field must be a number (you entered 'abc').<P></UL>"},
        // Beyond the picture and every whole number: no number the form can hold.
        {{{"PRICE", "1e300"}, {"PRICE_RANGE", "MIN=1"}},
         "<UL><LI>Data entered in the <B>Price</B> field must be a number (you entered '1e300').<P></UL>"},
        {{{"PRICE", "-1e60"}, {"PRICE_RANGE", "MAX=1"}},
         "<UL><LI>Data entered in the <B>Price</B> field must be a number (you entered '-1e60').<P></UL>"},
        {{{"PRICE", "1e300"}, {"PRICE_RANGE", "MAX=20"}},
         "<UL><LI>The value entered for the <B>Price</B> field must be less than 20 (your entry was 1e300).<P></UL>"},
        {{{"PRICE", "5"}, {"PRICE_RANGE", "MIN=1e300"}},
         "<UL><LI>The value entered for the <B>Price</B> field must be greater than 1e+300 (your entry was "
         "5).<P></UL>"},
        {{{"START", "32/1/1997"}, {"START_DATE", ""}},
         "<UL><LI>The value entered for the <B>Start</B> field ('32/1/1997') is not correctly formatted.<P></UL>"},
        // Request text is shown, never run as markup.
        {{{"AGE", "<script>"}, {"AGE_INTEGER", ""}},
         "<UL><LI>Data entered in the <B>Age</B> field must be a number (you entered '&lt;script&gt;').<P></UL>"},
        {{{"NAME", ""}, {"NAME_REQUIRED", "<b>x</b>"}}, "<UL><LI>&lt;b&gt;x&lt;/b&gt;<P></UL>"},
        // Two rules on one field fail in rule order.
        {{{"AGE", ""}, {"AGE_REQUIRED", ""}, {"AGE_RANGE", "MIN=1"}, {"B", "x"}, {"B_INTEGER", ""}},
         "<UL><LI>A value must be entered for the <B>Age</B> field.<P>"
         "<LI>Data entered in the <B>B</B> field must be a number (you entered 'x').<P></UL>"},
    };
    for (const auto& c : cases) {
        CFormFieldList form;
        Fill(form, c.fields);
        Outcome out = RunRules(form);
        EXPECT_FALSE(out.passed);
        EXPECT_EQ(out.list, c.list);
    }
}

TEST(FieldRules, ProblemPageFrame) {
    CFormFieldList form;
    form.Add("NAME_REQUIRED", "");
    auto rules = CFieldRuleSet::CreateStandard();
    std::string list, page;
    ASSERT_FALSE(rules->WriteErrorPage(form, "[intro]", list, "[back]", page));
    EXPECT_EQ(page,
              "<HTML><HEAD><TITLE>Form Entries Incomplete or Invalid</TITLE></HEAD><BODY><HR><H3>Form Entries "
              "Incomplete or Invalid</H3>One or more problems exist with the data you have entered.[intro]<UL><LI>A "
              "value must be entered for the <B>Name</B> field.<P></UL>Use the <I>Back</I> button on your web browser "
              "to return to the previous page and correct the listed problems.[back]<P><HR></BODY></HTML>");
}

TEST(FieldRules, MalformedRangeRulesRaise) {
    const struct {
        const char* rule;
        const char* title;
        const char* detailPart;
    } cases[] = {
        {"", "No MIN or MAX rule specified for range checked field.<P>", "You have\tspecified that the PRICE field"},
        {"MIN=", "Invalid range rules (no value specified for MIN).<P>",
         "The rule string ('MIN=') contains a MIN= statement which is not followed by a value."},
        {"min=1 max=z", "Invalid range rules (no value specified for MAX).<P>", "contains a MAX= statement"},
        {"LOW=5", "Invalid range rules (neither MIN nor MAX specified).<P>",
         "The rule string ('LOW=5') contains neither a MIN = <I>MinimumValue</I> statement"},
    };
    for (const auto& c : cases) {
        CFormFieldList form;
        form.Add("PRICE", "5");
        form.Add("PRICE_RANGE", c.rule);
        try {
            RunRules(form);
            ADD_FAILURE() << "nothing raised for " << c.rule;
        } catch (CWebException* e) {
            EXPECT_EQ(e->GetMessage(), c.title);
            EXPECT_NE(e->GetDetail().find(c.detailPart), std::string::npos) << e->GetDetail();
            e->Delete();
        }
    }
}

TEST(FieldRules, FindRuleAndDisplayName) {
    auto rules = CFieldRuleSet::CreateStandard();
    ASSERT_NE(rules->FindRule("START_EURODATE"), nullptr);
    EXPECT_EQ(rules->FindRule("START_EURODATE")->GetSuffix(), "_EURODATE");
    EXPECT_EQ(rules->FindRule("START_DATE")->GetSuffix(), "_DATE");
    EXPECT_EQ(rules->FindRule("start_date"), nullptr);
    EXPECT_EQ(rules->FindRule("START"), nullptr);
    EXPECT_EQ(FieldDisplayName("AGE"), "Age");
    EXPECT_EQ(FieldDisplayName("FIRST_NAME"), "First_name");
    EXPECT_EQ(FieldDisplayName(""), "");
}

}  // namespace
