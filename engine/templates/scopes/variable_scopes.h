// Name resolution through the scopes of the template language and the rules for names
// that TSSET and TSPARAM assign. The scopes are read through CVariableScopeSources, which
// the template page implements over its request.
#pragma once

#include <string>
#include <vector>

#include "support/web_message.h"

class CTSXQueryImp;

// What resolution reads of the running request. Names arrive upper-cased except where
// said; each getter answers false when its scope does not hold the name.
class CVariableScopeSources {
public:
    virtual ~CVariableScopeSources() = default;
    // The executed query of that (upper-cased) name, or null.
    virtual CTSXQueryImp* FindNamedQuery(const std::string& name) = 0;
    virtual bool GetTemplateVariable(const std::string& name, std::string& value) = 0;
    virtual bool GetCgiVariable(const std::string& name, std::string& value) = 0;
    virtual bool GetFileVariable(const std::string& name, std::string& value) = 0;
    virtual bool GetUrlParameter(const std::string& name, std::string& value) = 0;
    virtual bool GetFormField(const std::string& name, std::string& value) = 0;
    virtual bool GetRequestCookie(const std::string& name, std::string& value) = 0;
    // The client variable of the (application-prefixed) store name.
    virtual bool GetClientVariable(const std::string& storeName, std::string& value) = 0;
    // The store name of a client variable: reserved names as they are, others prefixed.
    virtual std::string ClientVariableName(const std::string& name) = 0;
    // A CLIENT.-prefixed read while client management is off: throws the store's
    // "disabled" error, which tells the author how to switch it on.
    virtual void CheckClientReadable(const std::string&) {}
};

struct CParameterResolution {
    std::string value;
    // The value cannot change during the request (FORM, URL, CGI, another query's row).
    int fixedValue = 0;
    // The value is a column of the current query and is read again per row.
    int currentColumn = 0;
    CTSXQueryImp* query = nullptr;
    int column = -1;
};

// Resolves name: without a prefix the current query's columns, then VARIABLES, CGI, FILE,
// URL, FORM, COOKIE and CLIENT, the first that holds it; with one, that scope or query
// (an empty prefix means the current query). row -1 reads the current query's row 0.
// Failures throw CWebException* "Error resolving parameter <B>name</B>" with the reason.
CParameterResolution ResolveParameterInScopes(CVariableScopeSources& sources, const std::string& name, int row,
                                              const std::string& currentQuery);

enum class CAssignableScope { Variables, Cookie, Client };

struct CAssignmentTarget {
    CAssignableScope scope = CAssignableScope::Variables;
    std::string name;  // upper-cased, without prefix
};

// The scope and name that TSSET/TSPARAM assign: blanks and pound signs removed; no prefix
// is VARIABLES; a prefix beginning CLIENT, COOKIE or VARIABLES picks that scope; any other
// prefix throws CWebException* "Unable to set variable <B>name</B>".
CAssignmentTarget ParseAssignmentName(const std::string& name);

// The client variable names of the application (store names beginning prefix, case
// ignored) upper-cased without the prefix, comma-separated.
std::string ClientVariableListText(const std::vector<std::string>& storeNames, const std::string& prefix);

// The text of an expression error: title with the trimmed expression and the reason.
CWebMessage ExpressionErrorTitle(const std::string& text, const std::string& errorReport, const std::string& reason);
