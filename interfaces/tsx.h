// The extension tag interface: everything a TSX tag library sees of the engine.
//
// A tag library is a shared library that exports one procedure per tag,
//     extern "C" void MyTag(CTSXRequest* request);
// registered under CustomTags\<TSX_NAME> with the values LibraryPath (the
// library file), ProcedureName (the exported name) and CacheLibrary ("0"
// unloads the library after each use; anything else keeps it loaded).
//
// The four classes are abstract; their virtual functions are called through the
// object's table, so their order and arguments never change. Build the library
// with the same C++ compiler family as the engine (g++/clang++, Itanium ABI) and
// with unwind tables (the default for C++): an engine error raised through the
// request passes through the procedure's frames.
//
// Errors: report them with request->ThrowException(title, detail) (both HTML:
// escape any value they quote), or hand an engine exception you caught
// (CTSXException*) to RethrowException. Throw nothing else out of a procedure;
// the engine turns any other exception into an error page of its own.
//
// A library the engine should unload (CacheLibrary "0") must not define unique
// symbols (readelf -s shows them as UNIQUE; static data of inline functions such
// as std::to_string's): the loader never unloads such a library. Build it with
// -fno-gnu-unique or avoid them.
//
// Pointers the request hands out are valid until the procedure returns; do not
// keep them. Strings are zero-terminated; indexes count from 1.
#pragma once

typedef int TSXBOOL;

class CTSXStringSet {
public:
    virtual ~CTSXStringSet() {}
    // Appends a copy; returns the new string's index.
    virtual int AddString(const char* text) = 0;
    virtual int GetCount() = 0;
    virtual const char* GetString(int index) = 0;
    // The index of the first string equal to text (case ignored), or -1.
    virtual int GetIndexForString(const char* text) = 0;
};

class CTSXQuery {
public:
    virtual ~CTSXQuery() {}
    virtual const char* GetName() = 0;
    virtual int GetRowCount() = 0;
    // The column names, in column order.
    virtual CTSXStringSet* GetColumns() = 0;
    // "" for a cell never set.
    virtual const char* GetData(int row, int column) = 0;
    // Returns the new row's index. Columns cannot be added after the first row.
    virtual int AddRow() = 0;
    virtual void SetData(int row, int column, const char* value) = 0;
    virtual void SetSQL(const char* text) = 0;
    virtual void SetExecutionTime(int milliseconds) = 0;
};

class CTSXException {
public:
    virtual ~CTSXException() {}
    virtual const char* GetTitle() = 0;
    virtual const char* GetDetail() = 0;
};

class CTSXRequest {
public:
    virtual ~CTSXRequest() {}
    // TRUE for an attribute the tag was given; "QUERY" is always TRUE.
    virtual TSXBOOL AttributeExists(const char* name) = 0;
    // "" when absent.
    virtual const char* GetAttribute(const char* name) = 0;
    // The names of the attributes, without QUERY and DEBUG.
    virtual CTSXStringSet* GetAttributeList() = 0;
    // The query named by the QUERY attribute, or null.
    virtual CTSXQuery* GetQuery() = 0;
    // A value of the tag's registry key, "" when absent.
    virtual const char* GetSetting(const char* name) = 0;
    // Text into the page where the tag stands.
    virtual void Write(const char* text) = 0;
    virtual void SetVariable(const char* name, const char* value) = 0;
    // A new named query with these columns, usable by the rest of the template.
    virtual CTSXQuery* AddQuery(const char* name, CTSXStringSet* columns) = 0;
    virtual TSXBOOL IsDebug() = 0;
    // Text shown after the tag's output when the tag has the DEBUG attribute.
    virtual void WriteDebug(const char* text) = 0;
    virtual CTSXStringSet* CreateStringSet() = 0;
    // Neither returns.
    virtual void ThrowException(const char* title, const char* detail) = 0;
    virtual void RethrowException(CTSXException* exception) = 0;
    virtual void SetCustomData(void* data) = 0;
    virtual void* GetCustomData() = 0;
};

// The shape of an exported tag procedure.
extern "C" typedef void TSXTagProcedure(CTSXRequest* request);
