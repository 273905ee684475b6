#include "engine/templates/scopes/variable_scopes.h"

#include "engine/templates/core/query_results.h"
#include "support/query_not_executed.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

const char kUnresolved[] =
    "Tessaro was unable to determine the value of the parameter. This problem is very likely due to the fact "
    "that either: <OL><LI> You have misspelled the parameter, or <LI> You have not specified a QUERY attribute "
    "for a TSOUTPUT or TSTABLE tag.</OL>";

constexpr std::size_t kMaxListedNameLength = 102400;

[[noreturn]] void ThrowUnresolved(const std::string& name, const CWebMessage& reason) {
    throw new CWebException(CWebMessage("Error resolving parameter <B>") + name + "</B>", reason, std::string());
}

enum class Scope { None, Query, Variables, Cgi, File, Url, Form, Cookie, Client };

Scope ScopeOfPrefix(const std::string& prefix) {
    if (prefix == "HTTP" || prefix == "CGI") return Scope::Cgi;
    if (prefix == "FORM") return Scope::Form;
    if (prefix == "URL") return Scope::Url;
    if (prefix == "VARIABLES") return Scope::Variables;
    if (prefix == "FILE") return Scope::File;
    if (prefix == "COOKIE") return Scope::Cookie;
    if (prefix == "CLIENT") return Scope::Client;
    return Scope::Query;
}

void ReadQueryCell(CTSXQueryImp* query, int column, bool current, int row, CParameterResolution& result) {
    result.query = query;
    result.column = column;
    if (current) {
        result.value = query->GetColumnValue(row < 0 ? 0 : row, column);
        result.currentColumn = 1;
    } else {
        result.value = query->GetColumnValue(0, column);
        result.fixedValue = 1;
    }
}

}  // namespace

CParameterResolution ResolveParameterInScopes(CVariableScopeSources& sources, const std::string& name, int row,
                                              const std::string& currentQuery) {
    CParameterResolution result;
    const std::string currentUpper = UpperCopy(currentQuery);
    CTSXQueryImp* current = currentUpper.empty() ? nullptr : sources.FindNamedQuery(currentUpper);
    const std::size_t dot = name.find('.');

    if (dot == std::string::npos) {
        const std::string var = UpperCopy(name);
        std::string value;
        if (current != nullptr) {
            const int column = current->GetColumnIndex(var);
            if (column != kColumnUnknown) {
                ReadQueryCell(current, column, true, row, result);
                return result;
            }
        }
        if (sources.GetTemplateVariable(var, value)) {
        } else if (sources.GetCgiVariable(var, value)) {
            result.fixedValue = 1;
        } else if (sources.GetFileVariable(var, value)) {
        } else if (sources.GetUrlParameter(var, value)) {
            result.fixedValue = 1;
        } else if (sources.GetFormField(var, value)) {
            result.fixedValue = 1;
        } else if (sources.GetRequestCookie(var, value)) {
        } else if (sources.GetClientVariable(sources.ClientVariableName(name), value)) {
        } else {
            ThrowUnresolved(name, kUnresolved);
        }
        result.value = std::move(value);
        return result;
    }

    std::string scopeName = dot == 0 ? currentQuery : name.substr(0, dot);
    scopeName = UpperCopy(scopeName);
    const std::string var = UpperCopy(name.substr(dot + 1));
    if (scopeName.empty()) ThrowUnresolved(name, kUnresolved);

    std::string value;
    switch (ScopeOfPrefix(scopeName)) {
        case Scope::Query: {
            CTSXQueryImp* query = sources.FindNamedQuery(scopeName);
            if (query == nullptr)
                ThrowUnresolved(name, QueryNotYetExecutedText(scopeName));
            const int column = query->GetColumnIndex(var);
            if (column == kColumnUnknown)
                ThrowUnresolved(name, CWebMessage("The column named '") + var + "' is not a part of the query named '" +
                                          scopeName + "'");
            ReadQueryCell(query, column, query == current, row, result);
            return result;
        }
        case Scope::Cookie:
            if (!sources.GetRequestCookie(var, value))
                ThrowUnresolved(
                    name,
                    CWebMessage("The cookie value ") + var +
                        " was not found in the current template file. The cause of this error is very likely one "
                        "of the following things:<P><OL><LI>The name of the cookie variable has been misspelled."
                        "<LI>The cookie variable has not yet been created or has timed out.</OL><P>To set default "
                        "values for cookie variables you should use the TSPARAM tag (e.g. &lt;TSPARAM "
                        "NAME=\"Cookie.Color\" DEFAULT=\"Red\"&gt;)");
            break;
        case Scope::Variables:
            if (!sources.GetTemplateVariable(var, value))
                ThrowUnresolved(name,
                                CWebMessage("The variable ") + var +
                                    " was not found in the current template file. Be sure to use the TSSET tag to "
                                    "create variables before attempting to use them.");
            break;
        case Scope::Client:
            sources.CheckClientReadable(var);
            if (!sources.GetClientVariable(sources.ClientVariableName(var), value))
                ThrowUnresolved(
                    name, CWebMessage("The client variable ") + var +
                              " does not exist. The cause of this error is very likely one of the following things:<P>"
                              "<OL><LI>The name of the client variable has been misspelled.<LI>The client variable has "
                              "not yet been created or has timed out.</OL>To set default values for client variables "
                              "you should use the TSPARAM tag (e.g. &lt;TSPARAM NAME=\"Client.Color\" "
                              "DEFAULT=\"Red\"&gt;)");
            break;
        case Scope::Cgi:
            if (!sources.GetCgiVariable(var, value)) value.clear();
            result.fixedValue = 1;
            break;
        case Scope::File:
            if (!sources.GetFileVariable(var, value))
                ThrowUnresolved(name,
                                CWebMessage("The name ") + var +
                                    " is not a a valid file status variable. Please refer to the documentation on "
                                    "TSFILE for a list of valid status variables.");
            break;
        case Scope::Form:
            if (!sources.GetFormField(var, value))
                ThrowUnresolved(name, CWebMessage("The form field ") + var + " was not found.");
            result.fixedValue = 1;
            break;
        case Scope::Url:
            if (!sources.GetUrlParameter(var, value))
                ThrowUnresolved(name, CWebMessage("The URL parameter ") + var + " was not found.");
            result.fixedValue = 1;
            break;
        case Scope::None:
            ThrowUnresolved(name, kUnresolved);
    }
    result.value = std::move(value);
    return result;
}

CAssignmentTarget ParseAssignmentName(const std::string& name) {
    const std::string w = RemoveWhitespace(name);
    const std::string s = UpperCopy(RemoveChar(w, '#'));
    CAssignmentTarget target;
    const std::size_t dot = s.find('.');
    if (dot == std::string::npos) {
        target.name = s;
        return target;
    }
    target.name = s.substr(dot + 1);
    if (s.rfind("CLIENT", 0) == 0) {
        target.scope = CAssignableScope::Client;
    } else if (s.rfind("COOKIE", 0) == 0) {
        target.scope = CAssignableScope::Cookie;
    } else if (s.rfind("VARIABLES", 0) == 0) {
        target.scope = CAssignableScope::Variables;
    } else {
        throw new CWebException(
            CWebMessage("Unable to set variable <B>") + w + "</B>",
            CWebMessage("The variable name used in your TSSET or TSPARAM tag (") + w +
                ") does not have a valid prefix. Variables which are set using these tags must either have no prefix "
                "(e.g. #Color#) or have one of the following prefixes: <UL><LI><B>Variables</B> (e.g. "
                "#Variables.Color#) "
                "<LI><B>Cookie</B> (e.g. #Cookie.Color#) <LI><B>Client</B> (e.g. #Client.Color#) </UL> <P>Variables "
                "with "
                "the prefix Form, URL, or CGI cannot be set using TSSET or TSPARAM.",
            std::string());
    }
    return target;
}

std::string ClientVariableListText(const std::vector<std::string>& storeNames, const std::string& prefix) {
    const std::string upperPrefix = UpperCopy(prefix);
    std::string list;
    bool first = true;
    for (const std::string& storeName : storeNames) {
        const std::string upper = UpperCopy(storeName);
        if (upper.rfind(upperPrefix, 0) != 0) continue;
        if (!first) list += ',';
        first = false;
        list.append(upper, upperPrefix.size(), kMaxListedNameLength);
    }
    return list;
}

CWebMessage ExpressionErrorTitle(const std::string& text, const std::string& errorReport, const std::string& reason) {
    // The expression as the template has it: a quote at either end is part of it
    // (#Len("abc"# shows Len("abc"), not a wrapper to take off.
    std::string t = TrimmedCopy(text);
    std::string collapsed;
    collapsed.reserve(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\n' && i + 1 < t.size() && t[i + 1] == '\n') {
            collapsed += "\n\n";
            while (i + 1 < t.size() && t[i + 1] == '\n') ++i;
        } else {
            collapsed += t[i];
        }
    }
    // The expression may be request text (Evaluate(URL.x)): a value, since no element keeps
    // markup out once the text may close it, and one of megabytes is quoted by its start. The
    // excerpt and the evaluator's reason are HTML.
    return CWebMessage("An error has occurred while processing the expression:<PRE>   ") + collapsed + "\n</PRE>" +
           CWebMessage::FromHtml(errorReport) + "<HR><P>" + CWebMessage::FromHtml(reason);
}
