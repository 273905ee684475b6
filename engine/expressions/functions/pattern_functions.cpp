// Pattern, character-set and token functions: spans, literal and regular-expression
// replacement and search, replacement lists and tokens.
//
// Replace takes its pattern literally. For the scopes ONE and ALL, and for every pair of
// ReplaceList, a literal pattern's leftmost-longest match is simply its first occurrence,
// so those replacements search with plain text search; the results are those of the
// regular-expression code with the escaped pattern. RECURSIVE goes through that code
// (regexReplace with scope 1): each search resumes at match start + match length - 1 in
// the changed text, a replacement equal to its match steps past it, and a replacement
// that keeps producing new matches is stopped after 2 x (text length + 1) replacements,
// which Replace reports as bad arguments. So Replace('aaa', 'a', 'aa', 'RECURSIVE') fails
// with 0x4019 instead of growing without end.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/function_arguments.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/function_result_limit.h"
#include "engine/expressions/functions/list_cursor.h"
#include "foundation/extregex.h"

namespace {

// The code of a pattern the regular-expression code rejects.
constexpr std::uint32_t kBadPattern = 0x4019;

RWCString ToRW(const std::string& text) {
    return RWCString(text.data(), text.size());
}
std::string FromRW(const RWCString& text) {
    return std::string(text.data(), text.length());
}

template <bool Including>
class CSpanFunction : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::string& text = Arg(a, 0).AsStdString();
        const CCharacterSet set(Arg(a, 1).AsStdString());
        std::size_t k = 0;
        while (k < text.size() && set.Contains(text[k]) == Including) ++k;
        result->SetText(text.substr(0, k));
    }
};

enum class Scope { kOne, kAll, kRecursive };

// Every occurrence of what (not empty), left to right; inserted text is never searched.
std::string ReplaceEveryOccurrence(const std::string& text, std::string_view what, std::string_view with,
                                   const char* signature) {
    std::size_t at = text.find(what);
    if (at == std::string::npos) return text;
    const std::size_t limit = MaxFunctionResultBytes();
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    for (; at != std::string::npos; at = text.find(what, copied)) {
        out.append(text, copied, at - copied).append(with);
        copied = at + what.size();
        if (out.size() + (text.size() - copied) > limit) ThrowFunctionResultTooLong(signature);
    }
    out.append(text, copied);
    return out;
}

// The regular-expression text that matches `literal` as it stands.
std::string EscapePattern(std::string_view literal) {
    std::string escaped;
    escaped.reserve(literal.size() * 2 + 2);
    for (char c : literal) {
        switch (c) {
            case '$':
            case '(':
            case ')':
            case '*':
            case '+':
            case '.':
            case '?':
            case '[':
            case '\\':
            case '^':
            case '{':
            case '|':
                escaped.push_back('\\');
                break;
            default:
                break;
        }
        escaped.push_back(c);
    }
    return escaped;
}

template <bool Literal>
class CReplaceFunction : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        CheckAtMostArguments(*this, a, 4);
        const std::string& text = Arg(a, 0).AsStdString();
        const std::string& what = Arg(a, 1).AsStdString();
        const std::string& with = Arg(a, 2).AsStdString();
        const Scope scope = ReadScope(a);
        const char* signature = Literal ? "Replace(InString, WhatString, WithString, Scope)"
                                        : "REReplace(InString, WhatString, WithString, Scope)";
        try {
            // An empty pattern matches nowhere that could be replaced.
            if (Literal && what.empty()) throw CRWInterfaceException("empty pattern", CRWInterfaceException::kCode);
            if (Literal && scope != Scope::kRecursive) {
                if (scope == Scope::kAll) {
                    result->SetText(ReplaceEveryOccurrence(text, what, with, signature));
                    return;
                }
                const std::size_t at = text.find(what);
                if (at == std::string::npos) {
                    result->SetText(text);
                    return;
                }
                CheckFunctionResultBytes(signature, text.size() - what.size() + with.size());
                std::string out;
                out.reserve(text.size() - what.size() + with.size());
                out.append(text, 0, at).append(with).append(text, at + what.size());
                result->SetText(std::move(out));
                return;
            }
            const RWCString pattern = ToRW(Literal ? EscapePattern(what) : what);
            const std::size_t limit = MaxFunctionResultBytes();
            const RWCString replaced = scope == Scope::kAll ? regexReplaceAll(ToRW(text), pattern, ToRW(with), limit)
                                                            : regexReplace(ToRW(text), pattern, ToRW(with),
                                                                           scope == Scope::kRecursive ? 1 : 0, limit);
            result->SetText(FromRW(replaced));
        } catch (const CRWInterfaceException& e) {
            if (Literal) ThrowExpressionError(kBadPattern, "The Replace function has received bad arguments");
            ThrowExpressionError(kBadPattern, CWebMessage::Value(FromRW(e.message())));
        } catch (const RWRegexResultTooLong&) {
            ThrowFunctionResultTooLong(signature);
        }
    }

private:
    Scope ReadScope(CExprArgumentList* a) const {
        if (ArgumentCount(a) < 4) return Scope::kOne;
        CheckArg(4, &Arg(a, 3));
        const std::string& scope = Arg(a, 3).AsStdString();
        if (EqualsNoCase(scope, "ONE")) return Scope::kOne;
        if (EqualsNoCase(scope, "ALL")) return Scope::kAll;
        if (EqualsNoCase(scope, "RECURSIVE")) return Scope::kRecursive;
        ThrowExpressionError(
            expr_code::kArgumentType,
            FormatExpressionMessage(
                "The fourth parameter (Scope) of the function %s(InString, WhatString, WithString, "
                "Scope), which is now equal to \"%s\", must be one of \"ONE\", \"ALL\", or \"RECURSIVE\"",
                Literal ? "Replace" : "REReplace", std::string(scope).c_str()));
    }

    static bool EqualsNoCase(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
            if (x != b[i]) return false;
        }
        return true;
    }
};

class CFuncREFind : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        CheckAtMostArguments(*this, a, 3);
        const std::string& pattern = Arg(a, 0).AsStdString();
        const std::string& text = Arg(a, 1).AsStdString();
        std::size_t start = 0;
        if (ArgumentCount(a) == 3) {
            CheckArg(3, &Arg(a, 2));
            const std::int32_t given = Arg(a, 2).AsInt();
            if (text.size() < static_cast<std::size_t>(given)) {
                result->SetInteger(0);
                return;
            }
            start = static_cast<std::size_t>(given) - 1;
        }
        try {
            const std::size_t at = regexFind(ToRW(pattern), ToRW(text), start);
            result->SetInteger(at == RW_NPOS ? 0 : static_cast<std::int32_t>(at + 1));
        } catch (const CRWInterfaceException& e) {
            ThrowExpressionError(kBadPattern, CWebMessage::Value(FromRW(e.message())));
        }
    }
};

// The items of both lists are cut on ","; empty items are skipped on both sides, the
// pairs are applied one after another, and an item of the first list without a partner
// is replaced by the empty text.
class CFuncReplaceList : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        std::string work = Arg(a, 0).AsStdString();
        const std::string& from = Arg(a, 1).AsStdString();
        const std::string& to = Arg(a, 2).AsStdString();
        CListCursor whats(from, ",");
        CListCursor withs(to, ",");
        ListElement what;
        ListElement with;
        while (whats.Next(what)) {
            const std::string_view replacement = withs.Next(with) ? withs.Element(with) : std::string_view();
            work = ReplaceEveryOccurrence(work, whats.Element(what), replacement, "ReplaceList(String, List1, List2)");
        }
        result->SetText(std::move(work));
    }
};

// Token n of the text, tokens separated by runs of delimiters; empty when there are fewer.
class CFuncGetToken : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        CheckAtMostArguments(*this, a, 3);
        const std::string& text = Arg(a, 0).AsStdString();
        const std::int32_t n = Arg(a, 1).AsInt();
        const std::string_view delimiters =
            ArgumentCount(a) == 3 ? std::string_view(Arg(a, 2).AsStdString()) : std::string_view(" \t\n");
        CListCursor tokens(text, delimiters);
        ListElement token;
        std::int32_t taken = 0;
        while (taken < n && tokens.Next(token)) ++taken;
        result->SetText(taken == n ? std::string(tokens.Element(token)) : std::string());
    }
};

const FunctionTableRow kRows[] = {
    {"SpanIncluding", 2, PackArgTypes(arg_type::kString, arg_type::kString), MakeFunction<CSpanFunction<true>>},
    {"SpanExcluding", 2, PackArgTypes(arg_type::kString, arg_type::kString), MakeFunction<CSpanFunction<false>>},
    {"Replace", -3, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString, arg_type::kString),
     MakeFunction<CReplaceFunction<true>>},
    {"REFind", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kPositiveInteger),
     MakeFunction<CFuncREFind>},
    {"REReplace", -3, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString, arg_type::kString),
     MakeFunction<CReplaceFunction<false>>},
    {"GetToken", -2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger, arg_type::kString),
     MakeFunction<CFuncGetToken>},
    {"ReplaceList", 3, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString),
     MakeFunction<CFuncReplaceList>},
};

}  // namespace

extern const FunctionFamily kPatternFunctions{kRows, std::size(kRows)};
