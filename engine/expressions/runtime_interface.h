// The evaluator's window on the running request. The template interpreter implements it
// and hands one object to every evaluation; the evaluator keeps no request state itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/expressions/function_result_limit.h"
#include "engine/expressions/text_origin.h"

class CRuntimeFileGate;

// A query result as the evaluator reads it (ValueList, QuotedValueList): rows and columns
// counted from 1.
class CExpressionQuery {
public:
    virtual ~CExpressionQuery() = default;
    virtual int GetRowCount() = 0;
    // The 1-based position of the column of that name (case ignored), or -1.
    virtual int FindColumn(const std::string& name) = 0;
    // The cell's text; empty for a cell without value or outside the result.
    virtual std::string GetCell(int row, int column) = 0;
};

// The request's random-number state: the page keeps it, the random functions and the
// client-id source step it.
struct CRandomState {
    std::uint32_t value = 0;
    int seeded = 0;
};

class CRuntimeInterface {
public:
    virtual ~CRuntimeInterface() = default;

    // The name resolved through the request's scopes into value. Every failure throws one
    // of the exceptions below (a missing name: the signaling form).
    virtual void LookupVariable(const std::string& name, int row, std::string& value, int mustExist) = 0;
    // The request's query of that name (case ignored), or null. The object lives as long
    // as this interface.
    virtual CExpressionQuery* FindQuery(const std::string& name) = 0;
    // Non-zero while SQL text is evaluated (nested evaluations included): the single quotes
    // that came from values are then doubled once, at the end of each #...# of the text.
    virtual int EscapeSingleQuotes() = 0;
    // The text evaluated as an expression to text against the running page.
    virtual void Evaluate(std::string& value, const std::string& text, int row) = 0;
    // The same with the origin of the characters (text_origin.h): the text's own characters
    // keep theirs through the evaluation, and nothing is doubled here (the SQL text that
    // the outermost evaluation belongs to does that once). An interface that cannot tell
    // answers: all from a value.
    virtual void EvaluateTraced(CTracedText& value, const CTracedView& text, int row) {
        std::string plain;
        Evaluate(plain, std::string(text.text()), row);
        value = CTracedText::Value(std::move(plain));
    }
    virtual void SetVariable(const std::string& name, const std::string& value) = 0;
    virtual void GetErrorReport(std::string& text) = 0;
    virtual void DeleteClientVariable(const std::string& name) = 0;
    virtual void GetTemplatePath(std::string& path) = 0;
    // The client's variable names, comma-separated.
    virtual void GetClientVariableList(std::string& text) = 0;

    // The request's random state (null when the request has none).
    CRandomState* m_randomState = nullptr;
    // The longest text one function call may build (Server\MaxFunctionResultBytes).
    std::size_t m_maxResultBytes = kDefaultMaxFunctionResultBytes;
    // The private files no function may reach (null: the runtime root's own only).
    const CRuntimeFileGate* m_fileGate = nullptr;
    // The row of the evaluation under way; the parser writes it.
    int m_row = -1;
};

// Thrown by value from the callbacks: {title, detail} of the engine error behind them.
class CRuntimeInterfaceExceptionBase {
public:
    CRuntimeInterfaceExceptionBase(std::string first, std::string second)
        : m_first(std::move(first)), m_second(std::move(second)) {}
    virtual ~CRuntimeInterfaceExceptionBase() = default;
    const std::string& GetFirst() const { return m_first; }
    const std::string& GetSecond() const { return m_second; }

private:
    std::string m_first;
    std::string m_second;
};

class CRuntimeInterfaceException : public CRuntimeInterfaceExceptionBase {
public:
    using CRuntimeInterfaceExceptionBase::CRuntimeInterfaceExceptionBase;
};

// A variable lookup that failed: the evaluator tells it from other failures by the class.
class CRuntimeInterfaceSignalingException : public CRuntimeInterfaceExceptionBase {
public:
    using CRuntimeInterfaceExceptionBase::CRuntimeInterfaceExceptionBase;
};
