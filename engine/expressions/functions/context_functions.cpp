// Context functions: nested evaluation, variables and client variables of the running
// request, temporary files and the parts of paths.
#include <string>
#include <vector>

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/functions/argument_helpers.h"
#include "support/file_helpers.h"
#include "support/runtime_file_gate.h"
#include "platform/home.h"
#include "platform/path_util.h"
#include "platform/file_ops.h"
#include "platform/temp_file.h"

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

CRuntimeInterface& RuntimeOf(const CTSFunction& function, CRuntimeInterface* runtime) {
    if (runtime == nullptr)
        ThrowExpressionError(expr_code::kFunctionNotAvailable,
                             CWebMessage("The function ") + function.GetName() + " needs a running request");
    return *runtime;
}

// Nested evaluations go through the runtime, whose evaluation entry counts the nesting
// depth of the thread: a text that evaluates itself fails with an error, not a crash.
class CFuncEvaluate : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        CRuntimeInterface& request = RuntimeOf(*this, runtime);
        // The characters of each text keep their origin through its evaluation: what a
        // value wrote in it (a string, a number, a call) is from a value.
        CTracedText value;
        for (std::size_t i = 0; i < arguments->size(); ++i)
            request.EvaluateTraced(value, Argument(arguments, i)->Traced(), request.m_row);
        result->SetTracedText(std::move(value));
    }
};

// A text that a condition on a value chose: what is computed from it is from a value. Its
// characters keep their origin while the author's single quotes in it pair up, so that it
// leaves a quoted SQL string open or closed as it found it; a text whose own quotes do not
// pair up would let the value decide where the quoted strings around it end, and is a
// value's throughout.
void ChosenByValue(CTracedText& text) {
    std::size_t quotes = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text.Text()[i] == '\'' && !text.IsValueAt(i)) ++quotes;
    if (quotes % 2 != 0)
        text.MarkValue();
    else
        text.MarkDecidedByValue();
}

class CFuncIIf : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        CRuntimeInterface& request = RuntimeOf(*this, runtime);
        // Only the chosen branch is converted and evaluated.
        ExprYaccStackElement* condition = Argument(arguments, 0);
        ExprYaccStackElement* branch = Argument(arguments, condition->AsBool() ? 1 : 2);
        CTracedText value;
        request.EvaluateTraced(value, branch->Traced(), request.m_row);
        // The condition only picks one of two texts, each whole: the result's characters have
        // the origin they have in the branch's evaluation.
        if (condition->FromValue()) ChosenByValue(value);
        result->SetTracedText(std::move(value));
    }
};

class CFuncDE : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        // The enclosing quotes are the function's own; each character of the text, and the
        // quote doubling it, keeps the text's origin of that character.
        const CTracedView text = Argument(arguments, 0)->Traced();
        CTracedText quoted;
        quoted.Reserve(text.text().size() + 2);
        quoted.AppendLiteral("\"");
        std::size_t run = 0;
        for (std::size_t i = 0; i < text.text().size(); ++i)
            if (text.text()[i] == '"') {
                quoted.Append(text, run, i + 1 - run).Append(text, i, 1);
                run = i + 1;
            }
        quoted.Append(text, run).AppendLiteral("\"");
        result->SetTracedText(std::move(quoted));
    }
};

// The name has the syntax of a variable name (argument type 12); the scopes decide the
// rest and refuse through the runtime.
class CFuncSetVariable : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        CRuntimeInterface& request = RuntimeOf(*this, runtime);
        const std::string name = Argument(arguments, 0)->AsStdString();
        CTracedText value = CTracedText::Slice(Argument(arguments, 1)->Traced());
        request.SetVariable(name, value.Text());
        // The value as it was given, each character with its origin.
        result->SetTracedText(std::move(value));
    }
};

class CFuncDeleteClientVariable : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        RuntimeOf(*this, runtime).DeleteClientVariable(Argument(arguments, 0)->AsStdString());
        result->SetBoolean(true);
    }
};

class CFuncGetClientVariablesList : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList*, ExprYaccStackElement* result) override {
        std::string list;
        RuntimeOf(*this, runtime).GetClientVariableList(list);
        result->SetText(std::move(list));
    }
};

// The templates' own folder below the runtime root's tmp/, not the machine-wide one; the
// rest of tmp/ holds the engine's work (report requests, upload staging), which no
// template may reach.
class CFuncGetTempDirectory : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList*, ExprYaccStackElement* result) override {
        result->SetText(TemplateTempDirectory());
    }
};

class CFuncGetTempFile : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::string directory = Argument(arguments, 0)->AsStdString();
        const std::string prefix = Argument(arguments, 1)->AsStdString();
        std::string path;
        // The folder is opened and judged as every template file is (the runtime root and its
        // private folders refused), and the file made inside what was judged.
        if (PathHasNul(directory) || PathHasNul(prefix) ||
            tessaro::platform::CreateUniqueFileIn(directory, prefix, FileGateOf(runtime).Check(), &path) != 0)
            ThrowExpressionError(
                kTempFileFailed,
                FormatExpressionMessage("Cannot create a temporary file with prefix \"%s\" in the directory "
                                        "\"%s\"",
                                        prefix.c_str(), directory.c_str()));
        result->SetText(std::move(path));
    }

private:
    static constexpr std::uint32_t kTempFileFailed = 0x4017;
};

// Drive and directory with a closing separator: the last separator the path uses, or a
// backslash for a path without one.
class CFuncGetDirectoryFromPath : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::string& path = Argument(arguments, 0)->AsStdString();
        std::string directory, name, extension;
        SplitPath(path, directory, name, extension);
        const std::size_t last = path.find_last_of("/\\");
        const char separator = last == std::string::npos ? '\\' : path[last];
        if (directory.empty() || !IsSeparator(directory.back())) directory += separator;
        result->SetText(std::move(directory));
    }
};

// The file's name with its extension, and no period added when it has none.
class CFuncGetFileFromPath : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        std::string directory, name, extension;
        SplitPath(Argument(arguments, 0)->AsStdString(), directory, name, extension);
        result->SetText(std::move(name));
    }
};

// The relative path below the running template's directory, with "." and ".." resolved;
// a path that climbs out of that directory is refused.
class CFuncExpandPath : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        ExprYaccStackElement* argument = Argument(arguments, 0);
        const std::string& relative = argument->AsStdString();
        std::string templatePath;
        RuntimeOf(*this, runtime).GetTemplatePath(templatePath);
        const std::size_t last = templatePath.find_last_of("/\\");
        std::string expanded = last == std::string::npos ? std::string("/") : templatePath.substr(0, last + 1);
        std::vector<std::string> parts;
        std::string part;
        for (std::size_t i = 0; i <= relative.size(); ++i) {
            if (i < relative.size() && !IsSeparator(relative[i])) {
                part += relative[i];
                continue;
            }
            if (part == "..") {
                if (parts.empty())
                    ThrowParameterError(*this, 1, argument,
                                        "a relative path that stays within the template's directory");
                parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        }
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (i != 0) expanded += '/';
            expanded += parts[i];
        }
        if (!parts.empty() && IsSeparator(relative.back())) expanded += '/';
        // Names are compared without case: what exists is given its name on disk, and a name
        // about to be created keeps the case it was written in.
        result->SetText(tessaro::platform::ResolvePathNoCase(expanded));
    }
};

class CFuncGetTemplatePath : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList*, ExprYaccStackElement* result) override {
        std::string path;
        RuntimeOf(*this, runtime).GetTemplatePath(path);
        result->SetText(std::move(path));
    }
};

const FunctionTableRow kRows[] = {
    {"Evaluate", -1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncEvaluate>},
    {"SetVariable", 2, PackArgTypes(arg_type::kVariableName, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncSetVariable>},
    {"IIf", 3, PackArgTypes(arg_type::kBoolean, arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncIIf>},
    {"DE", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncDE>},
    {"DeleteClientVariable", 1, PackArgTypes(arg_type::kVariableName), answer::kRequestState,
     MakeFunction<CFuncDeleteClientVariable>},
    {"GetClientVariablesList", 0, PackArgTypes(), answer::kRequestState, MakeFunction<CFuncGetClientVariablesList>},
    {"GetTempDirectory", 0, PackArgTypes(), answer::kRequestState, MakeFunction<CFuncGetTempDirectory>},
    {"GetTempFile", 2, PackArgTypes(arg_type::kString, arg_type::kString), answer::kRequestState,
     MakeFunction<CFuncGetTempFile>},
    {"GetFileFromPath", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncGetFileFromPath>},
    {"GetDirectoryFromPath", 1, PackArgTypes(arg_type::kString), answer::kArguments,
     MakeFunction<CFuncGetDirectoryFromPath>},
    {"ExpandPath", 1, PackArgTypes(arg_type::kRelativePath), answer::kRequestState, MakeFunction<CFuncExpandPath>},
    {"GetTemplatePath", 0, PackArgTypes(), answer::kRequestState, MakeFunction<CFuncGetTemplatePath>},
};

}  // namespace

extern const FunctionFamily kContextFunctions{kRows, std::size(kRows)};
