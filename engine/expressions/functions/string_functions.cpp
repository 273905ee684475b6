// String functions: comparison, search, trimming, case, cutting, padding and character
// codes. Text is bytes: lengths and positions count bytes, positions from 1, 0 for "not
// found". Case follows the fixed table of text_case.h.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/function_arguments.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/function_result_limit.h"
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
        std::string_view text = Arg(a, 0).AsStdString();
        if (static_cast<int>(Side) & static_cast<int>(TrimSide::kLeft))
            while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
        if (static_cast<int>(Side) & static_cast<int>(TrimSide::kRight))
            while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
        result->SetText(std::string(text));
    }
};

template <bool Upper>
class CCaseFunction : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        std::string text = Arg(a, 0).AsStdString();
        if (Upper)
            UpperCaseText(text);
        else
            LowerCaseText(text);
        result->SetText(std::move(text));
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
        const std::string& text = Arg(a, 0).AsStdString();
        const auto n = static_cast<std::size_t>(Arg(a, 1).AsInt());
        result->SetText(text.substr(0, std::min(n, text.size())));
    }
};

class CFuncRight : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::string& text = Arg(a, 0).AsStdString();
        const auto n = std::min(static_cast<std::size_t>(Arg(a, 1).AsInt()), text.size());
        result->SetText(text.substr(text.size() - n));
    }
};

// The count is cut to what is left behind the start without adding the two, so a count
// near the integer limit cannot wrap.
class CFuncMid : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::string& text = Arg(a, 0).AsStdString();
        const auto first = static_cast<std::size_t>(Arg(a, 1).AsInt()) - 1;
        const auto count = static_cast<std::size_t>(Arg(a, 2).AsInt());
        if (first >= text.size()) {
            result->SetText(std::string());
            return;
        }
        result->SetText(text.substr(first, std::min(count, text.size() - first)));
    }
};

class CFuncRepeatString : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::string& text = Arg(a, 0).AsStdString();
        const auto n = static_cast<std::size_t>(Arg(a, 1).AsInt());
        if (!text.empty() && n > MaxFunctionResultBytes() / text.size())
            ThrowFunctionResultTooLong("RepeatString(String, Count)");
        std::string out;
        if (text.empty()) {
            result->SetText(std::move(out));
            return;
        }
        out.reserve(text.size() * n);
        for (std::size_t i = 0; i < n; ++i) out.append(text);
        result->SetText(std::move(out));
    }
};

class CFuncVal : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        double value = 0;
        ScanDecimalPrefix(Arg(a, 0).AsString(), value);
        result->SetReal(value);
    }
};

class CFuncInsert : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::string& part = Arg(a, 0).AsStdString();
        const std::string& text = Arg(a, 1).AsStdString();
        const auto at = static_cast<std::uint32_t>(Arg(a, 2).AsInt());
        if (at > text.size())
            ThrowExpressionError(
                expr_code::kArgumentType,
                FormatExpressionMessage(
                    "The third parameter (AtPosition) of the function Insert(SubString, InString, "
                    "AtPosition), which is now equal to %u, must be less than or equal to the length of "
                    "the second parameter (InString), which is now equal to %s and has length of %u",
                    at, text.c_str(), static_cast<unsigned>(text.size())));
        std::string out;
        out.reserve(text.size() + part.size());
        out.append(text, 0, at).append(part).append(text, at);
        result->SetText(std::move(out));
    }
};

class CFuncRemoveChars : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::string& text = Arg(a, 0).AsStdString();
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
                    start, text.c_str(), static_cast<unsigned>(text.size())));
        const std::size_t first = start - 1;
        std::string out(text, 0, first);
        // Compared with what is left instead of adding first and count, which could wrap.
        if (count < text.size() - first) out.append(text, first + count);
        result->SetText(std::move(out));
    }
};

enum class Justify { kLeft, kRight, kCenter };

template <Justify How>
class CJustifyFunction : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::string& text = Arg(a, 0).AsStdString();
        const auto width = static_cast<std::size_t>(Arg(a, 1).AsInt());
        if (text.size() >= width) {
            result->SetText(text);
            return;
        }
        CheckFunctionResultBytes(Signature(), width);
        const std::size_t blanks = width - text.size();
        const std::size_t left = How == Justify::kLeft ? 0 : How == Justify::kRight ? blanks : blanks / 2;
        std::string out(left, ' ');
        out.append(text).append(blanks - left, ' ');
        result->SetText(std::move(out));
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
        const std::string& text = Arg(a, 0).AsStdString();
        result->SetText(std::string(text.rbegin(), text.rend()));
    }
};

const FunctionTableRow kRows[] = {
    {"Compare", 2, PackArgTypes(arg_type::kString, arg_type::kString), MakeFunction<CFuncCompare>},
    {"CompareNoCase", 2, PackArgTypes(arg_type::kString, arg_type::kString), MakeFunction<CFuncCompareNoCase>},
    {"Find", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kPositiveInteger),
     MakeFunction<CFindFunction<FindKind::kExact>>},
    {"FindNoCase", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kPositiveInteger),
     MakeFunction<CFindFunction<FindKind::kNoCase>>},
    {"FindOneOf", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kPositiveInteger),
     MakeFunction<CFindFunction<FindKind::kOneOf>>},
    {"LTrim", 1, PackArgTypes(arg_type::kString), MakeFunction<CTrimFunction<TrimSide::kLeft>>},
    {"RTrim", 1, PackArgTypes(arg_type::kString), MakeFunction<CTrimFunction<TrimSide::kRight>>},
    {"Trim", 1, PackArgTypes(arg_type::kString), MakeFunction<CTrimFunction<TrimSide::kBoth>>},
    {"LCase", 1, PackArgTypes(arg_type::kString), MakeFunction<CCaseFunction<false>>},
    {"UCase", 1, PackArgTypes(arg_type::kString), MakeFunction<CCaseFunction<true>>},
    {"Len", 1, PackArgTypes(arg_type::kString), MakeFunction<CFuncLen>},
    {"Left", 2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger), MakeFunction<CFuncLeft>},
    {"Right", 2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger), MakeFunction<CFuncRight>},
    {"Mid", 3, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger, arg_type::kNonNegativeInteger),
     MakeFunction<CFuncMid>},
    {"RepeatString", 2, PackArgTypes(arg_type::kString, arg_type::kNonNegativeInteger),
     MakeFunction<CFuncRepeatString>},
    {"Val", 1, PackArgTypes(arg_type::kString), MakeFunction<CFuncVal>},
    {"Insert", 3, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kNonNegativeInteger),
     MakeFunction<CFuncInsert>},
    {"RemoveChars", 3, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger, arg_type::kNonNegativeInteger),
     MakeFunction<CFuncRemoveChars>},
    {"LJustify", 2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger),
     MakeFunction<CJustifyFunction<Justify::kLeft>>},
    {"RJustify", 2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger),
     MakeFunction<CJustifyFunction<Justify::kRight>>},
    {"CJustify", 2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger),
     MakeFunction<CJustifyFunction<Justify::kCenter>>},
    {"Chr", 1, PackArgTypes(arg_type::kNonNegativeInteger), MakeFunction<CFuncChr>},
    {"Asc", 1, PackArgTypes(arg_type::kString), MakeFunction<CFuncAsc>},
    {"Reverse", 1, PackArgTypes(arg_type::kString), MakeFunction<CFuncReverse>},
};

}  // namespace

extern const FunctionFamily kStringFunctions{kRows, std::size(kRows)};
