// A sample extension tag library, and the one the tests use. Register a tag with
//   tsreg set 'HKEY_LOCAL_MACHINE\SOFTWARE\Brendlow\Tessaro\CurrentVersion\CustomTags\TSX_ATTRIBUTES' LibraryPath /path/libtsxsample.so
//   tsreg set '...\CustomTags\TSX_ATTRIBUTES' ProcedureName TSXAttributes
// and write <TSX_ATTRIBUTES NAME="A" COLOR="red"> in a template.
//
// Each tag is one exported procedure taking the request. Everything goes through
// the request: attributes, queries, output, variables and errors.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "tsx.h"

namespace {

// Not std::to_string: its inline table is a unique symbol, and a library holding
// one is never unloaded, which would make CacheLibrary="0" meaningless.
std::string Number(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

}  // namespace

// A query of the tag's attributes (columns NAME and VALUE, one row each), named
// by the attribute NAME (default "ATTRIBUTES"). With QUERY="q" it also reports
// the size and first cell of that query and adds a row to it.
extern "C" void TSXAttributes(CTSXRequest* request) {
    CTSXStringSet* names = request->GetAttributeList();
    CTSXStringSet* columns = request->CreateStringSet();
    columns->AddString("NAME");
    columns->AddString("VALUE");
    std::string queryName = request->GetAttribute("NAME");
    if (queryName.empty()) queryName = "ATTRIBUTES";
    CTSXQuery* query = request->AddQuery(queryName.c_str(), columns);
    for (int i = 1; i <= names->GetCount(); ++i) {
        int row = query->AddRow();
        query->SetData(row, 1, names->GetString(i));
        query->SetData(row, 2, request->GetAttribute(names->GetString(i)));
    }
    query->SetSQL("attributes of the tag");
    query->SetExecutionTime(1);
    request->SetVariable("tsx_count", Number(names->GetCount()).c_str());
    if (CTSXQuery* given = request->GetQuery()) {
        std::string first = given->GetRowCount() > 0 ? given->GetData(1, 1) : "";
        request->Write(
            ("[" + std::string(given->GetName()) + " rows=" + Number(given->GetRowCount()) + " first=" + first + "]")
                .c_str());
        int row = given->AddRow();
        given->SetData(row, 1, "added by the tag");
    }
    request->WriteDebug("listed the attributes");
}

// Misuses of the interface and failures on request, chosen by the attribute CASE,
// so that a template can see how the engine answers each.
extern "C" void TSXProbe(CTSXRequest* request) {
    std::string which = request->GetAttribute("CASE");
    if (which == "fail") request->ThrowException("Sample failure", "The sample tag was asked to fail.");
    if (which == "string-index") {
        CTSXStringSet* set = request->CreateStringSet();
        set->AddString("only");
        set->GetString(2);
    }
    if (which == "row") {
        CTSXStringSet* none = request->CreateStringSet();
        request->AddQuery("EMPTY", none)->GetData(1, 1);
    }
    if (which == "rethrow") {
        try {
            request->CreateStringSet()->GetString(0);
        } catch (CTSXException* e) {
            request->RethrowException(e);
        }
    }
    if (which == "std") throw std::runtime_error("the sample's own exception");
    if (which == "query-name") request->AddQuery(request->GetAttribute("NAME"), request->CreateStringSet());
    if (which == "flags") {
        request->Write(request->AttributeExists("query") ? "query:yes " : "query:no ");
        request->Write(request->GetQuery() == nullptr ? "none " : "given ");
        request->Write(request->IsDebug() ? "debug:yes " : "debug:no ");
        CTSXStringSet* names = request->GetAttributeList();
        for (int i = 1; i <= names->GetCount(); ++i) {
            request->Write(names->GetString(i));
            request->Write("=");
            request->Write(request->GetAttribute(names->GetString(i)));
            request->Write(";");
        }
        request->Write(request->GetSetting("ProcedureName"));
    }
}

// How many times this copy of the library has run the tag: 1 every time when the
// library is unloaded after each use, counting up while it stays cached.
extern "C" void TSXLoadCount(CTSXRequest* request) {
    static int calls = 0;
    ++calls;
    request->Write(Number(calls).c_str());
}

// Pointers the interface hands out, kept the way an extension may keep them while it runs.
// CASE="cells": reads cell (1,1) and then cell (2,1) of the query given by QUERY, and only
// then compares the two texts. CASE="string": keeps the first string of a set while 1,000
// more are added, and then writes it.
extern "C" void TSXPointers(CTSXRequest* request) {
    std::string which = request->GetAttribute("CASE");
    if (which == "cells") {
        CTSXQuery* query = request->GetQuery();
        if (query == nullptr) request->ThrowException("Sample failure", "Give the tag a QUERY with two rows.");
        const char* first = query->GetData(1, 1);
        const char* second = query->GetData(2, 1);
        std::string answer = std::string(first) + "|" + second + "|";
        answer += std::string(first) == second ? "same" : "different";
        request->Write(answer.c_str());
    }
    if (which == "string") {
        CTSXStringSet* set = request->CreateStringSet();
        set->AddString("kept");
        const char* kept = set->GetString(1);
        for (int i = 0; i < 1000; ++i) set->AddString(Number(i).c_str());
        request->Write((std::string(kept) + " " + Number(set->GetCount()) + " " + set->GetString(1001)).c_str());
    }
}
