// Pattern, character-set and token functions: spans, literal and regular-expression
// replacement and search, replacement lists and tokens.
//
// Replace and ReplaceList take their patterns literally, and a literal pattern's
// leftmost-longest match is simply its first occurrence: all their scopes search plain
// text, with the results of the regular-expression code run on the escaped pattern, and
// with no limit on the pattern's length (that code refuses a pattern of 256 or more
// tokens, which says nothing about a literal text). RECURSIVE works as that code's scope
// 1 does: each search resumes at match start + match length - 1 in the changed text, a
// replacement equal to its match steps past it, and a replacement that keeps producing
// new matches is stopped after 2 x (text length + 1) replacements, which Replace reports
// as bad arguments. So Replace('aaa', 'a', 'aa', 'RECURSIVE') fails with 0x4019 instead of
// growing without end.
#include <algorithm>
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
        const CTracedView text = Arg(a, 0).Traced();
        const CCharacterSet set(Arg(a, 1).AsStdString());
        std::size_t k = 0;
        while (k < text.text().size() && set.Contains(text.text()[k]) == Including) ++k;
        SetMovedText(result, CTracedText::Slice(text, 0, k), {&Arg(a, 0), &Arg(a, 1)});
    }
};

enum class Scope { kOne, kAll, kRecursive };

// Every occurrence of what (not empty), left to right; inserted text is never searched.
// Each character keeps its origin, unless a value decided where the replacements land.
CTracedText ReplaceEveryOccurrence(const CTracedView& text, std::string_view what, const CTracedView& with,
                                   const char* signature, bool decidedByValue, std::size_t limit) {
    std::size_t at = text.text().find(what);
    if (at == std::string::npos) return CTracedText::Slice(text);
    CTracedText out;
    if (decidedByValue) out.MarkValue();
    out.Reserve(text.text().size());
    std::size_t copied = 0;
    for (; at != std::string::npos; at = text.text().find(what, copied)) {
        out.Append(text, copied, at - copied).Append(with);
        copied = at + what.size();
        if (out.size() + (text.text().size() - copied) > limit) ThrowFunctionResultTooLong(signature, limit);
    }
    out.Append(text, copied);
    return out;
}

// Scope RECURSIVE of a literal pattern, as the regular-expression code runs scope 1 (the
// header of this file): each search resumes at match start + match length - 1 in the
// changed text. All in front of the resume point is final and goes to `done`; the text
// still to search is the end of `work` from `head`, and the part of a replacement that is
// searched again is written just in front of the untouched text behind the match. False
// when replacements keep making new matches.
bool ReplaceRecursively(const std::string& text, std::string_view what, std::string_view with, const char* signature,
                        std::size_t limit, std::string& out) {
    const std::size_t m = what.size();
    const std::size_t r = with.size();
    const std::size_t bound = 2 * (text.size() + 1);
    std::string work = text;
    std::string done;
    std::size_t head = 0;
    std::size_t count = 0;
    for (std::size_t p; (p = work.find(what, head)) != std::string::npos;) {
        done.append(work, head, p - head);
        const std::size_t behind = p + m;
        if (with == what) {
            // Nothing changes: step past the match instead of finding it again.
            const std::size_t step = m > 1 ? m - 1 : 1;
            done.append(work, p, step);
            head = p + step;
        } else if (++count > bound) {
            return false;
        } else if (m - 1 >= r) {
            const std::size_t more = std::min(m - 1 - r, work.size() - behind);
            done.append(with).append(work, behind, more);
            head = behind + more;
        } else {
            done.append(with.substr(0, m - 1));
            const std::string_view again = with.substr(m - 1);
            if (again.size() > behind) {
                // No room in front: make as much again as the rest, so growing stays linear.
                const std::size_t room = again.size() + (work.size() - behind);
                std::string front(room, '\0');
                front.append(again);
                work.replace(0, behind, front);
                head = room;
            } else {
                head = behind - again.size();
                work.replace(head, again.size(), again);
            }
        }
        if (done.size() + (work.size() - head) > limit) ThrowFunctionResultTooLong(signature, limit);
        if (head >= work.size()) break;
    }
    done.append(work, head);
    out = std::move(done);
    return true;
}

template <bool Literal>
class CReplaceFunction : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* a, ExprYaccStackElement* result) override {
        CheckAtMostArguments(*this, a, 4);
        const std::size_t limit = MaxFunctionResultBytes(runtime);
        const CTracedView traced = Arg(a, 0).Traced();
        const std::string& text = Arg(a, 0).AsStdString();
        const std::string& what = Arg(a, 1).AsStdString();
        const CTracedView tracedWith = Arg(a, 2).Traced();
        const std::string& with = Arg(a, 2).AsStdString();
        const Scope scope = ReadScope(a);
        // The text searched, the pattern and the scope decide where the replacement lands.
        const bool decidedByValue =
            DecidedByValue({&Arg(a, 0), &Arg(a, 1), ArgumentCount(a) == 4 ? &Arg(a, 3) : nullptr});
        const auto setMoved = [&](CTracedText out) {
            if (decidedByValue) out.MarkValue();
            result->SetTracedText(std::move(out));
        };
        const char* signature = Literal ? "Replace(InString, WhatString, WithString, Scope)"
                                        : "REReplace(InString, WhatString, WithString, Scope)";
        try {
            // An empty pattern matches nowhere that could be replaced.
            if (Literal && what.empty()) throw CRWInterfaceException("empty pattern", CRWInterfaceException::kCode);
            if (Literal) {
                if (scope == Scope::kRecursive) {
                    std::string out;
                    if (!ReplaceRecursively(text, what, with, signature, limit, out))
                        throw CRWInterfaceException("keeps matching", CRWInterfaceException::kCode);
                    result->SetText(std::move(out));
                    return;
                }
                if (scope == Scope::kAll) {
                    setMoved(ReplaceEveryOccurrence(traced, what, tracedWith, signature, decidedByValue, limit));
                    return;
                }
                const std::size_t at = text.find(what);
                if (at == std::string::npos) {
                    setMoved(CTracedText::Slice(traced));
                    return;
                }
                CheckFunctionResultBytes(limit, signature, text.size() - what.size() + with.size());
                CTracedText out;
                if (decidedByValue) out.MarkValue();
                out.Reserve(text.size() - what.size() + with.size());
                out.Append(traced, 0, at).Append(tracedWith).Append(traced, at + what.size());
                setMoved(std::move(out));
                return;
            }
            // The regular-expression code moves characters in ways this function does not
            // follow (back references): the result is from a value when any argument is, the
            // safe side. The literal recursive pass above keeps that origin as well.
            const RWCString pattern = ToRW(what);
            const RWCString replaced = scope == Scope::kAll ? regexReplaceAll(ToRW(text), pattern, ToRW(with), limit)
                                                            : regexReplace(ToRW(text), pattern, ToRW(with),
                                                                           scope == Scope::kRecursive ? 1 : 0, limit);
            result->SetText(FromRW(replaced));
        } catch (const CRWInterfaceException& e) {
            if (Literal) ThrowExpressionError(kBadPattern, "The Replace function has received bad arguments");
            ThrowExpressionError(kBadPattern, CWebMessage::Value(FromRW(e.message())));
        } catch (const RWRegexResultTooLong&) {
            ThrowFunctionResultTooLong(signature, limit);
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
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::size_t limit = MaxFunctionResultBytes(runtime);
        // The text and the first list decide where the second list's items land.
        const bool decidedByValue = DecidedByValue({&Arg(a, 0), &Arg(a, 1)});
        CTracedText work = CTracedText::Slice(Arg(a, 0).Traced());
        const std::string& from = Arg(a, 1).AsStdString();
        CListCursor whats(from, ",");
        CListCursor withs(Arg(a, 2).Traced(), ",");
        ListElement what;
        ListElement with;
        while (whats.Next(what)) {
            const CTracedText replacement = withs.Next(with) ? withs.TracedElement(with) : CTracedText();
            work = ReplaceEveryOccurrence(work.View(), whats.Element(what), replacement.View(),
                                          "ReplaceList(String, List1, List2)", decidedByValue, limit);
        }
        if (decidedByValue) work.MarkValue();
        result->SetTracedText(std::move(work));
    }
};

// Token n of the text, tokens separated by runs of delimiters; empty when there are fewer.
class CFuncGetToken : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        CheckAtMostArguments(*this, a, 3);
        const CTracedView text = Arg(a, 0).Traced();
        const std::int32_t n = Arg(a, 1).AsInt();
        const std::string_view delimiters =
            ArgumentCount(a) == 3 ? std::string_view(Arg(a, 2).AsStdString()) : std::string_view(" \t\n");
        CListCursor tokens(text, delimiters);
        ListElement token;
        std::int32_t taken = 0;
        while (taken < n && tokens.Next(token)) ++taken;
        SetMovedText(result, taken == n ? tokens.TracedElement(token) : CTracedText(),
                     {&Arg(a, 0), &Arg(a, 1), ArgumentCount(a) == 3 ? &Arg(a, 2) : nullptr});
    }
};

const FunctionTableRow kRows[] = {
    {"SpanIncluding", 2, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CSpanFunction<true>>},
    {"SpanExcluding", 2, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CSpanFunction<false>>},
    {"Replace", -3, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString, arg_type::kString),
     answer::kArguments, MakeFunction<CReplaceFunction<true>>},
    {"REFind", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kPositiveInteger), answer::kArguments,
     MakeFunction<CFuncREFind>},
    {"REReplace", -3, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString, arg_type::kString),
     answer::kArguments, MakeFunction<CReplaceFunction<false>>},
    {"GetToken", -2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncGetToken>},
    {"ReplaceList", 3, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncReplaceList>},
};

}  // namespace

extern const FunctionFamily kPatternFunctions{kRows, std::size(kRows)};
