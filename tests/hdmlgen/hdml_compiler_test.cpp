#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "hdmlgen/compiler/hdml_deck_dump.h"
#include "hdmlgen/compiler/tpc_hdmlc_gen.h"
#include "hdmlgen/compiler/tpc_parser.h"

namespace {

// The compiled deck of a valid source ("" when it does not parse or write).
std::string Compile(const std::string& source) {
    TpcParser parser("HDML", source.c_str(), source.size());
    if (!parser.ParseDeck()) return {};
    std::ostringstream out;
    TpcHDMLCGen generator(out);
    if (!parser.Generate(generator)) return {};
    return out.str();
}

std::vector<std::string> Errors(const std::string& source) {
    TpcParser parser("HDML", source.c_str(), source.size());
    std::vector<std::string> errors;
    EXPECT_EQ(parser.ParseDeck(), 0) << source;
    for (const TpcParseError* e = parser.GetErrors(); e; e = e->GetNext()) {
        std::ostringstream line;
        line << *e;
        errors.push_back(line.str());
    }
    return errors;
}

std::string Dump(const std::string& deck) {
    std::string text, error;
    EXPECT_TRUE(hdml::DumpDeck(deck, text, error)) << error;
    return text;
}

TEST(HdmlCompiler, SourcesCompileToDecksThatDumpAsCanonicalText) {
    struct Case {
        const char* source;
        const char* dumped;
    } cases[] = {
        {"<HDML VERSION=3.0><DISPLAY NAME=main>Hello</DISPLAY></HDML>",
         "<HDML VERSION=\"3.0\">\n  <DISPLAY NAME=\"main\">\n    Hello\n  </DISPLAY>\n</HDML>\n"},
        // Names in any case, quoted and unquoted values, the layout of the source dropped.
        {"<hdml version=\"3.0\" ttl='0'>\n <display name=\"a\" title=Start>\n  <action type=accept task=go dest=#b>\n"
         "  Line one<br>\n  and   two\n </display>\n <Entry name=b key=who>Name:</ENTRY>\n</hdml>\n",
         "<HDML VERSION=\"3.0\" TTL=\"0\">\n  <DISPLAY NAME=\"a\" TITLE=\"Start\">\n"
         "    <ACTION TYPE=\"accept\" TASK=\"go\" DEST=\"#b\">\n    Line one\n    <BR>\n    and two\n  </DISPLAY>\n"
         "  <ENTRY NAME=\"b\" KEY=\"who\">\n    Name:\n  </ENTRY>\n</HDML>\n"},
        // Choice entries end at the next one; variables and entities keep their meaning.
        {"<HDML VERSION=3.0><CHOICE NAME=menu KEY=pick>Pick:<CE TASK=GO DEST=#one>One<CE VALUE=2>Two &amp; $(x)"
         "</CHOICE><NODISPLAY NAME=n><ACTION TYPE=ACCEPT TASK=GO DEST=\"/cgi?v=$(pick)&amp;p=&dol;5\"></NODISPLAY>"
         "</HDML>",
         "<HDML VERSION=\"3.0\">\n  <CHOICE NAME=\"menu\" KEY=\"pick\">\n    Pick:\n"
         "    <CE TASK=\"GO\" DEST=\"#one\">\n      One\n    </CE>\n    <CE VALUE=\"2\">\n      Two &amp; $(x)\n"
         "    </CE>\n  </CHOICE>\n  <NODISPLAY NAME=\"n\">\n"
         "    <ACTION TYPE=\"ACCEPT\" TASK=\"GO\" DEST=\"/cgi?v=$(pick)&amp;p=&dol;5\">\n  </NODISPLAY>\n</HDML>\n"},
        // Text markup; blanks between words and markup on one line stay; comments go.
        {"<HDML VERSION=3.0><!-- menu --><DISPLAY><CENTER>Top<LINE>a <A TASK=GO DEST=#x>link</A> b<TAB>c"
         "<WRAP>d<RIGHT>e<IMG SRC=i.bmp ALT=\"&lt;i&gt;\"/> $ &#36;</DISPLAY><DISPLAY NAME=x></DISPLAY></HDML>",
         "<HDML VERSION=\"3.0\">\n  <DISPLAY>\n    <CENTER>\n    Top\n    <LINE>\n    a&#32;\n"
         "    <A TASK=\"GO\" DEST=\"#x\">\n      link\n    </A>\n    &#32;b\n    <TAB>\n    c\n    <WRAP>\n    d\n"
         "    <RIGHT>\n    e\n    <IMG SRC=\"i.bmp\" ALT=\"&lt;i&gt;\">\n    &#32;&dol; &dol;\n  </DISPLAY>\n"
         "  <DISPLAY NAME=\"x\">\n  </DISPLAY>\n</HDML>\n"},
    };
    for (const Case& c : cases) {
        std::string deck = Compile(c.source);
        ASSERT_FALSE(deck.empty()) << c.source;
        EXPECT_EQ(deck.substr(0, 6), std::string("\x89HDC\x01\x00", 6)) << c.source;
        std::string dumped = Dump(deck);
        EXPECT_EQ(dumped, c.dumped) << c.source;
        // The dump is HDML that compiles to the same bytes.
        EXPECT_EQ(Compile(dumped), deck) << dumped;
    }
}

TEST(HdmlCompiler, StringsAreStoredOnceInTheTable) {
    std::string deck = Compile("<HDML VERSION=3.0><DISPLAY NAME=a>a</DISPLAY><DISPLAY NAME=b>a</DISPLAY></HDML>");
    // "3.0", "a", "b"
    ASSERT_GT(deck.size(), 8u);
    EXPECT_EQ(deck[6], 0);
    EXPECT_EQ(deck[7], 3);
}

TEST(HdmlCompiler, BadSourcesListEveryErrorWithItsPlace) {
    struct Case {
        const char* source;
        std::vector<std::string> errors;
    } cases[] = {
        {"", {"Line 1, column 1: No <HDML> element found"}},
        {"<HDML><DISPLAY>x</DISPLAY></HDML>", {"Line 1, column 1: Missing required attribute VERSION in <HDML>"}},
        {"<HDML VERSION=3.0>\n</HDML>", {"Line 2, column 8: The deck contains no cards"}},
        {"<HDML VERSION=3.0>\n<DISPLAY>\n    <FOO>x</FOO>\n</DISPLAY></HDML>",
         {"Line 3, column 5: Unknown element <FOO>", "Line 3, column 11: Unknown element </FOO>"}},
        {"<HDML VERSION=3.0><ENTRY NAME=e>x</ENTRY><DISPLAY NAME=E>y</DISPLAY></HDML>",
         {"Line 1, column 19: Missing required attribute KEY in <ENTRY>",
          "Line 1, column 42: Duplicate card name 'E'"}},
        {"<HDML VERSION=3.0><DISPLAY><CE>x</CE><DISPLAY>y</DISPLAY></DISPLAY></HDML>",
         {"Line 1, column 28: <CE> is not allowed inside <DISPLAY>", "Line 1, column 33: Unexpected end tag </CE>",
          "Line 1, column 38: <DISPLAY> is not allowed inside <DISPLAY>",
          "Line 1, column 58: Unexpected end tag </DISPLAY>"}},
        {"text<DISPLAY>x</DISPLAY><HDML VERSION=3.0>y<NODISPLAY>z</NODISPLAY></HDML>",
         {"Line 1, column 1: Text is not allowed outside of a card",
          "Line 1, column 5: <DISPLAY> is not allowed outside of <HDML>",
          "Line 1, column 14: Text is not allowed outside of a card",
          "Line 1, column 15: Unexpected end tag </DISPLAY>",
          "Line 1, column 43: Text is not allowed outside of a card",
          "Line 1, column 55: Text is not allowed inside <NODISPLAY>"}},
        {"<HDML VERSION=3.0><DISPLAY FOO=1 NAME=a NAME=b TITLE><ACTION TYPE=ACCEPT>x</BR>&bogus; $(v</DISPLAY>",
         {"Line 1, column 28: Unknown attribute FOO in <DISPLAY>",
          "Line 1, column 41: Duplicate attribute NAME in <DISPLAY>",
          "Line 1, column 48: Attribute TITLE in <DISPLAY> has no value",
          "Line 1, column 54: Missing required attribute TASK in <ACTION>", "Line 1, column 75: <BR> takes no end tag",
          "Line 1, column 80: Unknown character entity &bogus;",
          "Line 1, column 88: Unterminated variable reference $(v", "Line 1, column 101: Missing end tag </HDML>"}},
        {"<HDML VERSION=3.0><DISPLAY>a < b &c</DISPLAY><!-- open",
         {"Line 1, column 30: A '<' must begin a tag; write &lt; for the character",
          "Line 1, column 34: A '&' must begin a character entity such as &amp;",
          "Line 1, column 46: Unterminated comment", "Line 1, column 55: Missing end tag </HDML>"}},
        {"<HDML VERSION=3.0><DISPLAY>x</DISPLAY></HDML><HDML VERSION=3.0>",
         {"Line 1, column 46: Only one <HDML> element is allowed"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Errors(c.source), c.errors) << c.source;
}

TEST(HdmlCompiler, ADeckListsABoundedNumberOfErrorsAndCountsTheRest) {
    const std::size_t bound = TpcParser::kMaxListedErrors;
    // Each bare '&' is one error; a request can carry millions of them.
    for (std::size_t ampersands : {bound - 1, bound, bound + 1, std::size_t{1500000}}) {
        std::string source = "<HDML VERSION=3.0><DISPLAY>" + std::string(ampersands, '&') + "</DISPLAY></HDML>";
        TpcParser parser("HDML", source.c_str(), source.size());
        ASSERT_EQ(parser.ParseDeck(), 0);
        std::size_t listed = 0;
        int column = 27;
        for (const TpcParseError* e = parser.GetErrors(); e; e = e->GetNext()) {
            ++listed;
            EXPECT_EQ(e->GetColumn(), ++column);
            EXPECT_EQ(e->GetMessage(), "A '&' must begin a character entity such as &amp;");
        }
        // A text that long is one more error: it does not fit a deck.
        const std::size_t errors = ampersands + (ampersands > hdml::kMaxStringLength ? 1 : 0);
        EXPECT_EQ(listed, std::min(errors, bound)) << ampersands;
        EXPECT_EQ(parser.GetUnlistedErrorCount(), errors - listed) << ampersands;
        // A second parse starts a new list.
        ASSERT_EQ(parser.ParseDeck(), 0);
        EXPECT_EQ(parser.GetUnlistedErrorCount(), errors - listed);
    }
    const char* valid = "<HDML VERSION=3.0><DISPLAY>x</DISPLAY></HDML>";
    TpcParser parser("HDML", valid, std::strlen(valid));
    EXPECT_EQ(parser.ParseDeck(), 1);
    EXPECT_EQ(parser.GetErrors(), nullptr);
    EXPECT_EQ(parser.GetUnlistedErrorCount(), 0u);
}

TEST(HdmlCompiler, OnlyTheHdmlLanguageIsKnown) {
    TpcParser parser("WML", "<HDML VERSION=3.0><DISPLAY>x</DISPLAY></HDML>", 44);
    EXPECT_EQ(parser.ParseDeck(), 0);
    ASSERT_NE(parser.GetErrors(), nullptr);
    EXPECT_EQ(parser.GetErrors()->GetMessage(), "Unknown language 'WML'");
    std::ostringstream out;
    TpcHDMLCGen generator(out);
    EXPECT_EQ(parser.Generate(generator), 0);
    EXPECT_EQ(out.str(), "");
}

TEST(HdmlDeckDump, RefusesBytesThatAreNotAWellFormedDeck) {
    std::string deck = Compile("<HDML VERSION=3.0><DISPLAY>x</DISPLAY></HDML>");
    std::string text, error;
    const std::string cases[] = {"", "plain text", deck.substr(0, deck.size() - 1), deck + "x",
                                 deck.substr(0, 4) + "\x02" + deck.substr(5)};
    for (const std::string& bad : cases) EXPECT_FALSE(hdml::DumpDeck(bad, text, error)) << bad;
}

}  // namespace
