// String functions: comparison, search, trimming, case, cutting, padding and character
// codes. Text is bytes: lengths and positions count bytes, positions from 1, 0 for "not
// found". Case follows the fixed table of text_case.h.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/function_arguments.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/function_result_limit.h"
#include "engine/expressions/functions/argument_helpers.h"
#include "engine/expressions/functions/list_cursor.h"
#include "engine/expressions/functions/text_case.h"
#include "engine/expressions/numeric_text.h"

namespace {

int Sign(int compared) {
    return compared < 0 ? -1 : compared > 0 ? 1 : 0;
}

class CFuncCompare : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        // std::string compares as unsigned bytes, so bytes of 128 and above sort last.
        const std::string& first = Arg(a, 0).AsStdString();
        const std::string& second = Arg(a, 1).AsStdString();
        result->SetInteger(Sign(first.compare(second)));
    }
};

class CFuncCompareNoCase : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        // Folded to lower case, so the characters between Z and a sort before every letter.
        std::string first = Arg(a, 0).AsStdString();
        std::string second = Arg(a, 1).AsStdString();
        LowerCaseText(first);
        LowerCaseText(second);
        result->SetInteger(Sign(first.compare(second)));
    }
};

// Find, FindNoCase and FindOneOf: (what, text [, start]).
enum class FindKind { kExact, kNoCase, kOneOf };

template <FindKind Kind>
class CFindFunction : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        CheckAtMostArguments(*this, a, 3);
        const std::string& what = Arg(a, 0).AsStdString();
        const std::string& text = Arg(a, 1).AsStdString();
        std::size_t offset = 0;
        if (ArgumentCount(a) == 3) {
            CheckArg(3, &Arg(a, 2));
            const std::int32_t start = Arg(a, 2).AsInt();
            if (text.size() < static_cast<std::size_t>(start)) {
                result->SetInteger(0);
                return;
            }
            offset = static_cast<std::size_t>(start) - 1;
        }
        std::size_t found;
        if constexpr (Kind == FindKind::kExact) {
            found = text.find(what, offset);
        } else if constexpr (Kind == FindKind::kNoCase) {
            std::string upperWhat = what;
            std::string upperText = text;
            UpperCaseText(upperWhat);
            UpperCaseText(upperText);
            found = upperText.find(upperWhat, offset);
        } else {
            const CCharacterSet set(what);
            found = std::string::npos;
            for (std::size_t i = offset; i < text.size() && !set.Empty(); ++i)
                if (set.Contains(text[i])) {
                    found = i;
                    break;
                }
        }
        result->SetInteger(found == std::string::npos ? 0 : static_cast<std::int32_t>(found + 1));
    }
};

bool IsWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

enum class TrimSide { kLeft = 1, kRight = 2, kBoth = 3 };

template <TrimSide Side>
class CTrimFunction : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        // Only white space goes, so every other character keeps its origin.
        const CTracedView traced = Arg(a, 0).Traced();
        std::string_view text = traced.text();
        if (static_cast<int>(Side) & static_cast<int>(TrimSide::kLeft))
            while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
        if (static_cast<int>(Side) & static_cast<int>(TrimSide::kRight))
            while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
        result->SetTracedText(CTracedText::Slice(traced, text.data() - traced.text().data(), text.size()));
    }
};

template <bool Upper>
class CCaseFunction : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        CTracedText text = CTracedText::Slice(Arg(a, 0).Traced());
        // The mapping keeps the length, so each character keeps its origin.
        text.MapKeepingLength([](std::string& characters) {
            if (Upper)
                UpperCaseText(characters);
            else
                LowerCaseText(characters);
        });
        result->SetTracedText(std::move(text));
    }
};

class CFuncLen : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        result->SetInteger(static_cast<std::int32_t>(Arg(a, 0).AsStdString().size()));
    }
};

class CFuncLeft : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const CTracedView text = Arg(a, 0).Traced();
        const auto n = static_cast<std::size_t>(Arg(a, 1).AsInt());
        SetMovedText(result, CTracedText::Slice(text, 0, n), {&Arg(a, 0), &Arg(a, 1)});
    }
};

class CFuncRight : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const CTracedView text = Arg(a, 0).Traced();
        const auto n = std::min(static_cast<std::size_t>(Arg(a, 1).AsInt()), text.text().size());
        SetMovedText(result, CTracedText::Slice(text, text.text().size() - n), {&Arg(a, 0), &Arg(a, 1)});
    }
};

// The count is cut to what is left behind the start without adding the two, so a count
// near the integer limit cannot wrap.
class CFuncMid : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const CTracedView text = Arg(a, 0).Traced();
        const auto first = static_cast<std::size_t>(Arg(a, 1).AsInt()) - 1;
        const auto count = static_cast<std::size_t>(Arg(a, 2).AsInt());
        // Append cuts at the end of the text, also a start beyond it.
        SetMovedText(result, CTracedText::Slice(text, first, count), {&Arg(a, 0), &Arg(a, 1), &Arg(a, 2)});
    }
};

class CFuncRepeatString : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const CTracedView text = Arg(a, 0).Traced();
        const auto n = static_cast<std::size_t>(Arg(a, 1).AsInt());
        const std::size_t limit = MaxFunctionResultBytes(runtime);
        if (!text.text().empty() && n > limit / text.text().size())
            ThrowFunctionResultTooLong("RepeatString(String, Count)", limit);
        CTracedText out;
        if (text.text().empty()) {
            SetMovedText(result, std::move(out), {&Arg(a, 1)});
            return;
        }
        out.Reserve(text.text().size() * n);
        for (std::size_t i = 0; i < n; ++i) out.Append(text);
        // The count decides how many of the author's characters stand.
        SetMovedText(result, std::move(out), {&Arg(a, 1)});
    }
};

class CFuncVal : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        double value = 0;
        const char* text = Arg(a, 0).AsString();
        if (ScanDecimalPrefix(text, value) == nullptr && text != nullptr) {
            // No number is read either when there is none or when it lies outside a real's
            // range. Beyond the largest real the result is an error, as on every other
            // numeric road; below the smallest it is 0, as the real nearest to it. The
            // place of the first significant digit plus the exponent tells which.
            const char* p = text;
            while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
            if (*p == '+' || *p == '-') ++p;
            long magnitude = 0;
            bool significant = false, point = false;
            for (; (*p >= '0' && *p <= '9') || (*p == '.' && !point); ++p) {
                if (*p == '.') {
                    point = true;
                } else if (significant) {
                    if (!point) ++magnitude;
                } else if (*p != '0') {
                    significant = true;
                    if (point) --magnitude;
                } else if (point) {
                    --magnitude;
                }
            }
            if (significant && (*p == 'e' || *p == 'E')) {
                const char* e = p + 1;
                const bool negative = *e == '-';
                if (*e == '+' || *e == '-') ++e;
                long exponent = 0;
                for (; *e >= '0' && *e <= '9'; ++e) exponent = std::min(exponent * 10 + (*e - '0'), 100000L);
                magnitude += negative ? -exponent : exponent;
            }
            if (significant && magnitude > 0) CheckFiniteResult(*this, &Arg(a, 0), HUGE_VAL);
        }
        result->SetReal(value);
    }
};

class CFuncInsert : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const CTracedView part = Arg(a, 0).Traced();
        const CTracedView traced = Arg(a, 1).Traced();
        const std::string_view text = traced.text();
        const auto at = static_cast<std::uint32_t>(Arg(a, 2).AsInt());
        if (at > text.size())
            ThrowExpressionError(
                expr_code::kArgumentType,
                FormatExpressionMessage(
                    "The third parameter (AtPosition) of the function Insert(SubString, InString, "
                    "AtPosition), which is now equal to %u, must be less than or equal to the length of "
                    "the second parameter (InString), which is now equal to %s and has length of %u",
                    at, std::string(text).c_str(), static_cast<unsigned>(text.size())));
        CTracedText out;
        out.Reserve(text.size() + part.text().size());
        out.Append(traced, 0, at).Append(part).Append(traced, at);
        SetMovedText(result, std::move(out), {&Arg(a, 1), &Arg(a, 2)});
    }
};

class CFuncRemoveChars : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const CTracedView traced = Arg(a, 0).Traced();
        const std::string_view text = traced.text();
        const auto start = static_cast<std::uint32_t>(Arg(a, 1).AsInt());
        const auto count = static_cast<std::size_t>(Arg(a, 2).AsInt());
        // The message names RemoveChars, the function the author called.
        if (start > text.size())
            ThrowExpressionError(
                expr_code::kArgumentType,
                FormatExpressionMessage(
                    "The second parameter (StartPos) of the function RemoveChars(String, StartPos, "
                    "Count), which is now equal to %u, must be less than or equal to the length of the "
                    "first parameter (String), which is now equal to %s and has length of %u",
                    start, std::string(text).c_str(), static_cast<unsigned>(text.size())));
        const std::size_t first = start - 1;
        CTracedText out;
        out.Append(traced, 0, first);
        // Compared with what is left instead of adding first and count, which could wrap.
        if (count < text.size() - first) out.Append(traced, first + count);
        SetMovedText(result, std::move(out), {&Arg(a, 0), &Arg(a, 1), &Arg(a, 2)});
    }
};

enum class Justify { kLeft, kRight, kCenter };

template <Justify How>
class CJustifyFunction : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const CTracedView text = Arg(a, 0).Traced();
        const auto width = static_cast<std::size_t>(Arg(a, 1).AsInt());
        if (text.text().size() >= width) {
            result->SetTracedText(CTracedText::Slice(text));
            return;
        }
        CheckFunctionResultBytes(MaxFunctionResultBytes(runtime), Signature(), width);
        // Every character of the text stays, in order; the blanks come from the width.
        const bool blanksFromValue = Arg(a, 1).FromValue();
        const std::size_t blanks = width - text.text().size();
        const std::size_t left = How == Justify::kLeft ? 0 : How == Justify::kRight ? blanks : blanks / 2;
        CTracedText out;
        out.AppendUniform(std::string(left, ' '), blanksFromValue)
            .Append(text)
            .AppendUniform(std::string(blanks - left, ' '), blanksFromValue);
        result->SetTracedText(std::move(out));
    }

private:
    static const char* Signature() {
        return How == Justify::kLeft    ? "LJustify(String, Length)"
               : How == Justify::kRight ? "RJustify(String, Length)"
                                        : "CJustify(String, Length)";
    }
};

class CFuncChr : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const auto byte = static_cast<char>(static_cast<std::uint32_t>(Arg(a, 0).AsInt()) & 0xFF);
        result->SetText(byte == '\0' ? std::string() : std::string(1, byte));
    }
};

class CFuncAsc : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::string& text = Arg(a, 0).AsStdString();
        result->SetInteger(text.empty() ? 0 : static_cast<std::int32_t>(static_cast<signed char>(text[0])));
    }
};

class CFuncReverse : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        CTracedText text = CTracedText::Slice(Arg(a, 0).Traced());
        // Every character stays with its origin, only the order turns.
        text.Reverse();
        result->SetTracedText(std::move(text));
    }
};

const FunctionTableRow kRows[] = {
    {"Compare", 2, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments, MakeFunction<CFuncCompare>},
    {"CompareNoCase", 2, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncCompareNoCase>},
    {"Find", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kPositiveInteger), answer::kArguments,
     MakeFunction<CFindFunction<FindKind::kExact>>},
    {"FindNoCase", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kPositiveInteger),
     answer::kArguments, MakeFunction<CFindFunction<FindKind::kNoCase>>},
    {"FindOneOf", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kPositiveInteger),
     answer::kArguments, MakeFunction<CFindFunction<FindKind::kOneOf>>},
    {"LTrim", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CTrimFunction<TrimSide::kLeft>>},
    {"RTrim", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CTrimFunction<TrimSide::kRight>>},
    {"Trim", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CTrimFunction<TrimSide::kBoth>>},
    {"LCase", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CCaseFunction<false>>},
    {"UCase", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CCaseFunction<true>>},
    {"Len", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncLen>},
    {"Left", 2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger), answer::kArguments,
     MakeFunction<CFuncLeft>},
    {"Right", 2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger), answer::kArguments,
     MakeFunction<CFuncRight>},
    {"Mid", 3, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger, arg_type::kNonNegativeInteger),
     answer::kArguments, MakeFunction<CFuncMid>},
    {"RepeatString", 2, PackArgTypes(arg_type::kString, arg_type::kNonNegativeInteger), answer::kArguments,
     MakeFunction<CFuncRepeatString>},
    {"Val", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncVal>},
    {"Insert", 3, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kNonNegativeInteger), answer::kArguments,
     MakeFunction<CFuncInsert>},
    {"RemoveChars", 3, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger, arg_type::kNonNegativeInteger),
     answer::kArguments, MakeFunction<CFuncRemoveChars>},
    {"LJustify", 2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger), answer::kArguments,
     MakeFunction<CJustifyFunction<Justify::kLeft>>},
    {"RJustify", 2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger), answer::kArguments,
     MakeFunction<CJustifyFunction<Justify::kRight>>},
    {"CJustify", 2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger), answer::kArguments,
     MakeFunction<CJustifyFunction<Justify::kCenter>>},
    {"Chr", 1, PackArgTypes(arg_type::kNonNegativeInteger), answer::kArguments, MakeFunction<CFuncChr>},
    {"Asc", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncAsc>},
    {"Reverse", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncReverse>},
};

}  // namespace

extern const FunctionFamily kStringFunctions{kRows, std::size(kRows)};
