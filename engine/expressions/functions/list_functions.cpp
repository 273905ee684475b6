// List functions: delimited lists read, searched and rebuilt element by element. A list
// is any text with a set of delimiter characters ("," unless the last optional argument
// gives one); see list_cursor.h for the model. Where an edit puts a delimiter into the
// text it is the first character of the set; an empty set inserts nothing.
#include <string>
#include <string_view>

#include "engine/expressions/function_arguments.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/function_result_limit.h"
#include "engine/expressions/functions/list_cursor.h"
#include "engine/expressions/functions/text_case.h"

namespace {

// The frame every list function shares: the maximum count first, then the arguments in
// call order, the delimiter set last.
template <unsigned Most>
class CListFunction : public CTSFunction {
protected:
    void Begin(CExprArgumentList* a) const { CheckAtMostArguments(*this, a, Most); }
    static std::string_view Delimiters(CExprArgumentList* a) {
        return ArgumentCount(a) == Most ? std::string_view(Arg(a, Most - 1).AsStdString()) : std::string_view(",");
    }
    // A rebuilt list or an element: the list and the delimiters decide where elements
    // begin and end, and so, with a position, which characters stand (SetMovedText).
    static void SetListResult(ExprYaccStackElement* result, CTracedText text, CExprArgumentList* a,
                              const ExprYaccStackElement* position = nullptr) {
        SetMovedText(result, std::move(text),
                     {&Arg(a, 0), position, ArgumentCount(a) == Most ? &Arg(a, Most - 1) : nullptr});
    }
};

class CFuncListLen : public CListFunction<2> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const std::string& list = Arg(a, 0).AsStdString();
        CListCursor cursor(list, Delimiters(a));
        result->SetInteger(static_cast<std::int32_t>(cursor.Count()));
    }
};

class CFuncListFirst : public CListFunction<2> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        CListCursor cursor(Arg(a, 0).Traced(), Delimiters(a));
        ListElement e;
        SetListResult(result, cursor.Next(e) ? cursor.TracedElement(e) : CTracedText(), a);
    }
};

class CFuncListLast : public CListFunction<2> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        CListCursor cursor(Arg(a, 0).Traced(), Delimiters(a));
        ListElement e;
        ListElement last;
        bool any = false;
        while (cursor.Next(e)) last = e, any = true;
        SetListResult(result, any ? cursor.TracedElement(last) : CTracedText(), a);
    }
};

class CFuncListRest : public CListFunction<2> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        CListCursor cursor(Arg(a, 0).Traced(), Delimiters(a));
        SetListResult(result, cursor.Rest(), a);
    }
};

class CFuncListGetAt : public CListFunction<3> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const CTracedView list = Arg(a, 0).Traced();
        const std::int32_t position = Arg(a, 1).AsInt();
        CListCursor cursor(list, Delimiters(a));
        SetListResult(result, cursor.TracedElement(cursor.ElementAt(static_cast<std::size_t>(position))), a,
                      &Arg(a, 1));
    }
};

class CFuncListSetAt : public CListFunction<4> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const CTracedView list = Arg(a, 0).Traced();
        const std::int32_t position = Arg(a, 1).AsInt();
        const CTracedView value = Arg(a, 2).Traced();
        CListCursor cursor(list, Delimiters(a));
        SetListResult(result, cursor.SetAt(static_cast<std::size_t>(position), value), a, &Arg(a, 1));
    }
};

class CFuncListDeleteAt : public CListFunction<3> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const CTracedView list = Arg(a, 0).Traced();
        const std::int32_t position = Arg(a, 1).AsInt();
        CListCursor cursor(list, Delimiters(a));
        SetListResult(result, cursor.DeleteAt(static_cast<std::size_t>(position)), a, &Arg(a, 1));
    }
};

class CFuncListInsertAt : public CListFunction<4> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const CTracedView list = Arg(a, 0).Traced();
        const std::int32_t position = Arg(a, 1).AsInt();
        const CTracedView value = Arg(a, 2).Traced();
        CListCursor cursor(list, Delimiters(a));
        SetListResult(result, cursor.InsertAt(static_cast<std::size_t>(position), value), a, &Arg(a, 1));
    }
};

class CFuncListPrepend : public CListFunction<3> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const CTracedView list = Arg(a, 0).Traced();
        const CTracedView value = Arg(a, 1).Traced();
        CListCursor cursor(list, Delimiters(a));
        ListElement e;
        if (!cursor.Next(e)) {
            SetListResult(result, CTracedText::Slice(value), a);
            return;
        }
        CTracedText out;
        out.Reserve(value.text().size() + 1 + list.text().size());
        out.Append(value).AppendLiteral(cursor.InsertedDelimiter()).Append(list);
        SetListResult(result, std::move(out), a);
    }
};

class CFuncListAppend : public CListFunction<3> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const CTracedView list = Arg(a, 0).Traced();
        const CTracedView value = Arg(a, 1).Traced();
        CListCursor cursor(list, Delimiters(a));
        ListElement e;
        if (!cursor.Next(e)) {
            SetListResult(result, CTracedText::Slice(value), a);
            return;
        }
        CTracedText out;
        out.Reserve(list.text().size() + 1 + value.text().size());
        out.Append(list).AppendLiteral(cursor.InsertedDelimiter()).Append(value);
        SetListResult(result, std::move(out), a);
    }
};

// The searches: the 1-based position of the first element that matches, 0 when none.
template <class Match>
std::int32_t FirstMatching(CListCursor& cursor, Match match) {
    ListElement e;
    for (std::int32_t position = 1; cursor.Next(e); ++position)
        if (match(cursor.Element(e))) return position;
    return 0;
}

std::string Lowered(std::string_view text, TextEncoding encoding) {
    std::string copy(text);
    LowerCaseText(copy, encoding);
    return copy;
}

class CFuncListFind : public CListFunction<3> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const std::string& list = Arg(a, 0).AsStdString();
        const std::string_view value = Arg(a, 1).AsStdString();
        CListCursor cursor(list, Delimiters(a));
        result->SetInteger(FirstMatching(cursor, [&](std::string_view element) { return element == value; }));
    }
};

class CFuncListFindNoCase : public CListFunction<3> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const std::string& list = Arg(a, 0).AsStdString();
        const std::string& given = Arg(a, 1).AsStdString();
        const std::string value = Lowered(given, EncodingOf(given));
        CListCursor cursor(list, Delimiters(a));
        // Element by element (folding the whole list would also fold letters of the set), each
        // in the encoding of the whole list: a cut never makes a UTF-8 list's letters bytes.
        const TextEncoding encoding = EncodingOf(list);
        result->SetInteger(FirstMatching(cursor, [&](std::string_view element) {
            return element.size() == value.size() && Lowered(element, encoding) == value;
        }));
    }
};

class CFuncListContains : public CListFunction<3> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const std::string& list = Arg(a, 0).AsStdString();
        const std::string_view part = Arg(a, 1).AsStdString();
        CListCursor cursor(list, Delimiters(a));
        result->SetInteger(part.empty() ? 0 : FirstMatching(cursor, [&](std::string_view element) {
            return element.find(part) != std::string_view::npos;
        }));
    }
};

class CFuncListContainsNoCase : public CListFunction<3> {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const std::string& list = Arg(a, 0).AsStdString();
        const std::string& given = Arg(a, 1).AsStdString();
        const std::string part = Lowered(given, EncodingOf(given));
        CListCursor cursor(list, Delimiters(a));
        const TextEncoding encoding = EncodingOf(list);
        result->SetInteger(part.empty() ? 0 : FirstMatching(cursor, [&](std::string_view element) {
            return element.size() >= part.size() && Lowered(element, encoding).find(part) != std::string::npos;
        }));
    }
};

// The new delimiter stands between elements only: a trailing one would show in the page.
class CFuncListChangeDelims : public CListFunction<3> {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* a, ExprYaccStackElement* result) override {
        Begin(a);
        const CTracedView list = Arg(a, 0).Traced();
        const CTracedView separator = Arg(a, 1).Traced();
        CListCursor cursor(list, Delimiters(a));
        CTracedText out;
        out.Reserve(list.text().size() + separator.text().size());
        const std::size_t limit = MaxFunctionResultBytes(runtime);
        ListElement e;
        for (bool first = true; cursor.Next(e); first = false) {
            // A long delimiter between many elements multiplies the text.
            if (!first && out.size() + separator.text().size() + (e.end - e.start) > limit)
                ThrowFunctionResultTooLong("ListChangeDelims(List, NewDelimiter, Delimiters)", limit);
            if (!first) out.Append(separator);
            out.Append(list, e.start, e.end - e.start);
        }
        SetListResult(result, std::move(out), a);
    }
};

const FunctionTableRow kRows[] = {
    {"ListLen", -1, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments, MakeFunction<CFuncListLen>},
    {"ListFirst", -1, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncListFirst>},
    {"ListLast", -1, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncListLast>},
    {"ListRest", -1, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncListRest>},
    {"ListGetAt", -2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger, arg_type::kString),
     answer::kArguments, MakeFunction<CFuncListGetAt>},
    {"ListSetAt", -3, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger, arg_type::kString, arg_type::kString),
     answer::kArguments, MakeFunction<CFuncListSetAt>},
    {"ListDeleteAt", -2, PackArgTypes(arg_type::kString, arg_type::kPositiveInteger, arg_type::kString),
     answer::kArguments, MakeFunction<CFuncListDeleteAt>},
    {"ListInsertAt", -3,
     PackArgTypes(arg_type::kString, arg_type::kPositiveInteger, arg_type::kString, arg_type::kString),
     answer::kArguments, MakeFunction<CFuncListInsertAt>},
    {"ListPrepend", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncListPrepend>},
    {"ListAppend", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncListAppend>},
    {"ListFind", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncListFind>},
    {"ListFindNoCase", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncListFindNoCase>},
    {"ListContains", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncListContains>},
    {"ListContainsNoCase", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString),
     answer::kArguments, MakeFunction<CFuncListContainsNoCase>},
    {"ListChangeDelims", -2, PackArgTypes(arg_type::kString, arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncListChangeDelims>},
};

}  // namespace

extern const FunctionFamily kListFunctions{kRows, std::size(kRows)};
