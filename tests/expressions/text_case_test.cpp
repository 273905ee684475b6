// Case folding of the text functions: only what is a letter in the text's encoding is
// folded. Different UTF-8 letters stay different even in a text that also holds a byte of
// no UTF-8 character (which once made the whole text fold as Windows-1252 bytes).
#include <gtest/gtest.h>

#include <string>

#include "engine/expressions/functions/text_case.h"
#include "tests/expressions/function_test_support.h"

namespace {

using exprtest::CallText;

// Pairs of different two-byte UTF-8 letters whose second bytes are a Windows-1252 case pair
// (8A/9A S caron, 8C/9C OE, 8E/9E Z caron) under the same first byte.
struct LetterPair {
    const char* name;
    std::string first;
    std::string second;
};

const LetterPair kPairs[] = {
    {"C dot above / E caron", "\xC4\x8A", "\xC4\x9A"},    {"C caron / G circumflex", "\xC4\x8C", "\xC4\x9C"},
    {"D caron / G breve", "\xC4\x8E", "\xC4\x9E"},        {"Eng / S acute", "\xC5\x8A", "\xC5\x9A"},
    {"O macron / S circumflex", "\xC5\x8C", "\xC5\x9C"},  {"O breve / S cedilla", "\xC5\x8E", "\xC5\x9E"},
    {"Cyrillic NJE / KA", "\xD0\x8A", "\xD0\x9A"},        {"Cyrillic KJE / EM", "\xD0\x8C", "\xD0\x9C"},
    {"Cyrillic short U / O", "\xD0\x8E", "\xD0\x9E"},     {"Greek IOTA tonos / KAPPA", "\xCE\x8A", "\xCE\x9A"},
    {"Greek OMICRON tonos / MU", "\xCE\x8C", "\xCE\x9C"}, {"Greek UPSILON tonos / XI", "\xCE\x8E", "\xCE\x9E"},
};

// A byte that is part of no UTF-8 character (a Windows-1252 u diaeresis, say).
const std::string kStray = "\xFC";

TEST(TextCase, DifferentUtf8LettersNeverFoldAlike) {
    for (const LetterPair& p : kPairs) {
        for (const std::string& tail : {std::string(), kStray}) {
            const std::string a = p.first + tail, b = p.second + tail;
            SCOPED_TRACE(std::string(p.name) + (tail.empty() ? "" : " beside a stray byte"));
            EXPECT_NE(CallText("CompareNoCase", {a, b}), "0");
            EXPECT_EQ(CallText("FindNoCase", {a, b}), "0");
            EXPECT_EQ(CallText("FindNoCase", {p.first, "x" + b}), "0");
            EXPECT_EQ(CallText("ListFindNoCase", {"x," + b, a}), "0");
            EXPECT_EQ(CallText("ListContainsNoCase", {"x,y" + b + "z", a}), "0");
            // The letters are not in the table: both mappings leave them as they are.
            EXPECT_EQ(CallText("UCase", {a}), a);
            EXPECT_EQ(CallText("LCase", {b}), b);
        }
    }
}

TEST(TextCase, Utf8LettersFoldBesideBytesOfNoCharacter) {
    const std::string upper = "\xC3\x84RGER" + kStray, lower = "\xC3\xA4rger" + kStray;  // "Ärger", "ärger"
    EXPECT_EQ(CallText("LCase", {upper}), lower) << "the UTF-8 letter is folded whole, the stray byte kept";
    EXPECT_EQ(CallText("UCase", {lower}), upper);
    EXPECT_EQ(CallText("CompareNoCase", {upper, lower}), "0");
    EXPECT_EQ(CallText("FindNoCase", {"RGER", lower}), "3");
    EXPECT_EQ(CallText("ListFindNoCase", {"Z\xC3\xBCrich," + lower, upper}), "2");
    EXPECT_EQ(CallText("ListContainsNoCase", {"a," + lower, "\xC3\x84R"}), "2");
}

TEST(TextCase, Windows1252TextsFoldByteByByte) {
    // No UTF-8 character of two or more bytes: the text is Windows-1252.
    EXPECT_EQ(EncodingOf("M\xDCNCHEN"), TextEncoding::kWindows1252);
    EXPECT_EQ(CallText("LCase", {"M\xDCNCHEN"}), "m\xFCnchen");
    EXPECT_EQ(CallText("ListFindNoCase", {"a,m\xFCnchen", "M\xDCNCHEN"}), "2");
    EXPECT_EQ(EncodingOf("M\xC3\x9CNCHEN\xFC"), TextEncoding::kUtf8);
    EXPECT_EQ(EncodingOf("plain"), TextEncoding::kWindows1252);
    // A character cut short, an overlong form and a surrogate are no UTF-8 characters.
    EXPECT_EQ(EncodingOf("\xC3"), TextEncoding::kWindows1252);
    EXPECT_EQ(EncodingOf("\xC0\x80"), TextEncoding::kWindows1252);
    EXPECT_EQ(EncodingOf("\xED\xA0\x80"), TextEncoding::kWindows1252);
}

TEST(TextCase, ListElementsFoldInTheEncodingOfTheirList) {
    // The list is UTF-8 (it holds "é"), so its element made of the lone byte C9 is no letter
    // and stays; read on its own it would be a Windows-1252 "É" and fold onto "é" (E9).
    EXPECT_EQ(CallText("ListFindNoCase", {"\xC3\xA9,\xC9", "\xE9"}), "0");
    EXPECT_EQ(CallText("ListFindNoCase", {"\xC3\xA9,\xC9", "\xC3\x89"}), "1");
    std::string element = "\xC9";
    LowerCaseText(element, TextEncoding::kUtf8);
    EXPECT_EQ(element, "\xC9");
    LowerCaseText(element, TextEncoding::kWindows1252);
    EXPECT_EQ(element, "\xE9");
}

}  // namespace
