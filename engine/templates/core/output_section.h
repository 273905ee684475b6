// TSOUTPUT and TSMAIL bodies: while the body is read its content becomes a list
// of nodes; when the outermost section closes, the list runs once per emitted
// row of the section's query, into the reply or into one mail message per row.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/expressions/text_origin.h"

class CIfBlockStack;
class CRuntimeFileGate;
class CTSXQueryImp;

// A name resolved for a section's text: fixed means the value cannot change
// within the section (form, URL, CGI, a column of another query); a current
// column is re-read on every row.
struct SectionResolution {
    std::string value;
    bool fixed = false;
    bool currentColumn = false;
    CTSXQueryImp* query = nullptr;
    int column = -1;
};

struct SectionMailMessage {
    std::string server;
    int port = -1;
    int timeout = -1;
    std::string from, to, cc, subject;
    bool html = false;
    std::string body;
    std::string attachment;
};

// What a section needs of the running page.
class COutputSectionHost {
public:
    virtual ~COutputSectionHost() = default;
    // Template text split into runs: {false, literal} or {true, expression}; "##"
    // stands for "#". Throws the page's expression error for unmatched delimiters.
    virtual std::vector<std::pair<bool, std::string>> SplitText(const std::string& text) = 0;
    // Resolution against the query of the running section; throws when unknown.
    virtual SectionResolution ResolveParameter(const std::string& name, int row) = 0;
    virtual std::string EvaluateExpression(const std::string& expression, int row) = 0;
    // The same value with the origin of each of its characters (text_origin.h), for a text
    // that is quoted afterwards by where each character came from (a report's formulas):
    // nothing is quoted here. A host that cannot tell answers: all from a value.
    virtual CTracedText EvaluateTracedExpression(const std::string& expression, int row) {
        return CTracedText::Value(EvaluateExpression(expression, row));
    }
    // Text with #...# parts substituted for the row.
    virtual std::string EvaluateField(const std::string& text, int row) = 0;
    virtual bool EvaluateCondition(const std::string& condition, int row) = 0;
    virtual void SetVariableFromExpression(const std::string& name, const std::string& expression, int row) = 0;
    virtual CTSXQueryImp* FindQuery(const std::string& name) = 0;
    virtual void CheckRequestTime() = 0;
    // The 1-based current row of the innermost query TSLOOP; false without one.
    virtual bool LoopQueryRow(int& row) = 0;
    // Sets the query unqualified names resolve against while a section runs;
    // returns the one it replaces.
    virtual std::string SetRunningSectionQuery(const std::string& name) = 0;
    // Mail: the spooler's default server, one spooled message (throws on
    // failure), and the notice that messages are ready.
    virtual std::string DefaultMailServer() = 0;
    virtual void SpoolMail(const SectionMailMessage& message) = 0;
    virtual void MailPosted() = 0;
    // The private files a MIMEATTACH may not name.
    virtual const CRuntimeFileGate& PrivateFiles() = 0;
    // Where errors are: the template line the parser stands on (where its last lexeme ends),
    // the line of the instruction that runs now for the error page (returns the one it
    // replaces; 0 gives the parser's), and the error page's block naming that line.
    virtual long CurrentLine() { return 0; }
    virtual long SetRunningLine(long) { return 0; }
    virtual std::string PositionReport() { return {}; }
};

class COutputSection;

class CTemplateNode {
public:
    explicit CTemplateNode(long line = 0) : m_line(line) {}
    virtual ~CTemplateNode() = default;
    virtual void Execute(int row, std::string& out, CIfBlockStack& ifs) = 0;
    // The template line the instruction was read on (a text's first line).
    long Line() const { return m_line; }

protected:
    long m_line;
};

class COutputSection {
public:
    COutputSection(COutputSectionHost& host, bool isMail) : m_host(host), m_isMail(isMail) {}
    ~COutputSection();

    // Body content, in source order.
    void AddText(const std::string& text);
    void AddIf(const std::string& condition);
    void AddElseIf(const std::string& condition);
    void AddElse();
    void AddEndIf();
    void AddSet(const std::string& name, const std::string& expression);
    void AddNestedSection(std::unique_ptr<COutputSection> section);
    void FlushText();

    // Attributes.
    void SetQuery(const std::string& name);
    const std::string& GetQuery() const { return m_query; }
    void SetGroup(const std::string& group);
    const std::string& GetGroup() const { return m_group; }
    void SetParent(COutputSection* parent) { m_parent = parent; }
    void SetStartRow(int row) { m_startRow = row; }
    void SetMaxRows(int rows) { m_maxRows = rows; }
    bool IsMail() const { return m_isMail; }
    void SetServer(const std::string& server) { m_server = server; }
    void SetPort(int port) { m_port = port; }
    void SetTimeout(int timeout) { m_timeout = timeout; }
    void SetMimeAttach(const std::string& raw) { m_mimeAttach = raw; }
    void SetSubject(const std::string& raw) { m_subject = raw; }
    void SetFrom(const std::string& raw) { m_from = raw; }
    void SetTo(const std::string& raw) { m_to = raw; }
    void SetCc(const std::string& raw) { m_cc = raw; }
    void SetHtmlMail() { m_html = true; }

    // Runs a top-level section: its text (empty for mail, which is spooled).
    std::string Run();
    // While set, the text a run writes is also kept here, each character with its origin: the
    // template's own text, and in what a #...# part gave, the characters of the expression's
    // literals, are literal; a value's, and what is computed from one, from a value.
    void RecordRuns(CTracedText* runs) { m_runs = runs; }
    CTracedText* RecordedRuns() const { return m_runs; }
    // Emits rows from firstRow (0-based) into out, or spools them as mail.
    void ExecuteSection(std::string& out, bool asMail, int firstRow);
    COutputSectionHost& Host() { return m_host; }
    const std::string& GetEffectiveQuery() const { return m_effectiveQuery; }

private:
    void Validate();
    void RunNodeList(int row, std::string& out);
    void SpoolRow(int row, const std::string& body);
    void CheckAttachment(const std::string& path) const;
    [[noreturn]] void GroupColumnError(const std::string& column, const std::string& query) const;

    COutputSectionHost& m_host;
    bool m_isMail;
    std::string m_query;
    std::string m_group;
    COutputSection* m_parent = nullptr;
    int m_startRow = 1;
    int m_maxRows = -1;
    std::string m_effectiveQuery;
    std::string m_pendingText;
    bool m_hasPendingText = false;
    long m_pendingLine = 0;
    std::vector<std::unique_ptr<CTemplateNode>> m_nodes;
    std::string m_server;
    int m_port = -1;
    int m_timeout = -1;
    std::string m_subject, m_from, m_to, m_cc, m_mimeAttach;
    bool m_html = false;
    CTracedText* m_runs = nullptr;
};

// How deep sections may be open inside each other: a nested section runs (and is freed) by
// recursion on the request's stack, so a deeper one is refused while it is read.
constexpr std::size_t kMaxSectionNesting = 1000;

// The open sections of a page while their bodies are read.
class COutputSectionStack {
public:
    explicit COutputSectionStack(COutputSectionHost& host) : m_host(host) {}

    bool IsOpen() const { return !m_open.empty(); }
    COutputSection* Current() const { return m_open.empty() ? nullptr : m_open.back().get(); }

    // <TSOUTPUT: nested inside an open section (which must have a QUERY) or a
    // new top-level one; never nested inside kMaxSectionNesting others. Inside an open
    // TSREPORT body nothing happens.
    void OpenOutput(bool reportOpen);
    // <TSMAIL: always a new section on the stack.
    void OpenMail();
    // <TSREPORT: the section that collects the report's body, open until CloseTopLevel.
    void OpenReport();
    // A TSREPORT body is being read: section tags inside it are part of its text.
    bool ReportBodyOpen() const { return m_reportOpen && !m_open.empty(); }
    // QUERY: not on a nested section; the query must have run.
    void OnQuery(const std::string& value);
    void OnGroup(const std::string& value);
    void OnMaxRows(const std::string& value, const std::string& positionReport);
    void OnStartRow(const std::string& value, const std::string& positionReport);
    // Mail attributes: raw text, evaluated per row.
    void OnSubject(const std::string& raw);
    void OnFrom(const std::string& raw);
    void OnTo(const std::string& raw);
    void OnCc(const std::string& raw);

    // </TSOUTPUT> of a nested section.
    void CloseNested(bool reportOpen);
    // The closing tag of the top-level section: runs it and returns its text (and, when runs
    // is given, the same text with the origin of its characters, as COutputSection::RecordRuns
    // keeps it).
    std::string CloseTopLevel(CTracedText* runs = nullptr);

private:
    void CheckNesting() const;

    COutputSectionHost& m_host;
    std::vector<std::unique_ptr<COutputSection>> m_open;
    bool m_reportOpen = false;
};

// The error for a tag that cannot stand inside a section body (elementText as the template has it).
[[noreturn]] void ThrowInvalidSectionTag(const std::string& elementText);
