// Text transforms for output (paragraphs, HTML, URL encoding), query column lists,
// YesNoFormat and ParameterExists. The transform functions are a function and a
// transform in one object: the transform part does the text work (text_transforms.h).
#include <string>

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/expression_log.h"
#include "engine/expressions/function_arguments.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/functions/text_transforms.h"
#include "engine/expressions/runtime_interface.h"

namespace {

[[noreturn]] void ThrowParameterMust(const CTSFunction& function, const std::string& value, const CWebMessage& words) {
    ThrowExpressionError(expr_code::kArgumentType,
                         FormatExpressionMessage("Parameter %u of function %s which is now \"%s\" must be ", 1u,
                                                 function.GetName().c_str(), value.c_str()) +
                             words);
}

template <class Transform>
class CTransformFunction : public CTSFunction, private Transform {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        std::string out;
        Transform::Transform(out, Arg(a, 0).AsStdString());
        result->SetText(std::move(out));
    }
};

// ValueList and QuotedValueList: the argument names "Query.Column"; checked in this order:
// the form of the name, the query, the column.
template <class Transform>
class CColumnListFunction : public CTSFunction, private Transform {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::string& name = Arg(a, 0).AsStdString();
        const std::size_t dot = name.find('.');
        if (dot == std::string::npos || dot == 0)
            ThrowParameterMust(*this, name, "a fully qualified column name of the form Query.ColumnName");
        CExpressionQuery* query = runtime ? runtime->FindQuery(name.substr(0, dot)) : nullptr;
        if (query == nullptr) ThrowParameterMust(*this, name, "pointing to a valid query name");
        const std::string column = name.substr(dot + 1);
        const int position = column.empty() ? -1 : query->FindColumn(column);
        if (position < 1) ThrowParameterMust(*this, name, "pointing to a valid column name");
        CTracedText out;
        Transform::JoinColumn(out, *query, position, runtime->EscapeSingleQuotes() != 0);
        // The cells' characters are values, the commas and the quoted list's own quotes the
        // list's: the name only picks which column is listed.
        result->SetTracedText(std::move(out));
    }
};

class CFuncYesNoFormat : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* a, ExprYaccStackElement* result) override {
        ExprYaccStackElement& value = Arg(a, 0);
        bool yes = false;
        if (!value.AsStdString().empty()) {
            try {
                yes = value.AsBool() != 0;
            } catch (CExpressionException* e) {
                delete e;
                ThrowParameterMust(*this, value.AsStdString(), "a boolean");
            }
        }
        result->SetText(yes ? "Yes" : "No");
    }
};

// True when the variable resolves in the running request; a missing one is the false
// answer, not an error.
class CFuncParameterExists : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* a, ExprYaccStackElement* result) override {
        const std::string& name = Arg(a, 0).AsStdString();
        bool exists = false;
        if (runtime != nullptr) {
            try {
                std::string scratch;
                runtime->LookupVariable(name, -1, scratch, 1);
                exists = true;
            } catch (const CRuntimeInterfaceSignalingException&) {
                exists = false;
            } catch (...) {
                LogExpressionError("CFuncParameterExists::DoIt", "unknown");
                throw;
            }
        }
        result->SetBoolean(exists);
    }
};

const FunctionTableRow kRows[] = {
    {"ParagraphFormat", 1, PackArgTypes(arg_type::kString), answer::kArguments,
     MakeFunction<CTransformFunction<CParagraphTransform>>},
    {"HTMLEditFormat", 1, PackArgTypes(arg_type::kString), answer::kArguments,
     MakeFunction<CTransformFunction<CHTMLEditTransform>>},
    {"HTMLCodeFormat", 1, PackArgTypes(arg_type::kString), answer::kArguments,
     MakeFunction<CTransformFunction<CHTMLCodeTransform>>},
    {"URLEncodedFormat", 1, PackArgTypes(arg_type::kString), answer::kArguments,
     MakeFunction<CTransformFunction<CURLEncodedTransform>>},
    {"YesNoFormat", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncYesNoFormat>},
    {"StripCR", 1, PackArgTypes(arg_type::kString), answer::kArguments,
     MakeFunction<CTransformFunction<CStripCRTransform>>},
    {"ParameterExists", 1, PackArgTypes(arg_type::kVariableName), answer::kRequestState,
     MakeFunction<CFuncParameterExists>},
    {"ValueList", 1, PackArgTypes(arg_type::kString), answer::kQueryCells,
     MakeFunction<CColumnListFunction<CValueListTransform>>},
    {"QuotedValueList", 1, PackArgTypes(arg_type::kString), answer::kQueryCells,
     MakeFunction<CColumnListFunction<CQuotedValueListTransform>>},
};

}  // namespace

extern const FunctionFamily kTextFormatFunctions{kRows, std::size(kRows)};
