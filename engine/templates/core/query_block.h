// The TSQUERY block as the template is read: attributes fill a pending query,
// text inside the block becomes SQL, and the end of the block (or the first tag
// that cannot stand in a query block) runs the query.
#pragma once

#include <memory>
#include <string>

struct CDataSourceLogin;
class CNamedQueries;
class CTSXQueryImp;

// What running a query needs of the page.
class CQueryTagHost {
public:
    virtual ~CQueryTagHost() = default;
    // Template text, written to the reply.
    virtual void WriteText(const std::string& text) = 0;
    // The text with its #...# expressions substituted for SQL (quotes doubled).
    virtual std::string SubstituteSql(const std::string& text) = 0;
    // Registers the data source with an open transaction (may refuse it).
    virtual void UseDataSource(const CDataSourceLogin&) {}
    // Runs the query on the request's connection for its login.
    virtual void Execute(CTSXQueryImp& query) = 0;
    virtual void AddDebugLine(const std::string& line) = 0;
    // The template position, for error details ("" when none).
    virtual std::string PositionReport() { return {}; }
};

class CQueryTag {
public:
    // queries is the page's map; it must outlive the tag.
    CQueryTag(CQueryTagHost& host, CNamedQueries& queries);
    ~CQueryTag();

    bool IsPending() const { return m_pending != nullptr; }
    const CTSXQueryImp* Pending() const { return m_pending.get(); }

    // <TSQUERY: a new pending query (a pending one is finished first by the
    // caller's dispatch). showSql and debug are the page's states.
    // openedAt names where the tag stands, for the error of a block never closed.
    void OnBegin(bool showSql, bool debug, const std::string& openedAt = std::string());
    // origin names the TSQUERY tag (template and line): the same tag may enter
    // its name again (a loop running it once more), another tag may not.
    void OnName(const std::string& value, const std::string& origin);
    void OnDataSource(const std::string& value);
    void OnMaxRows(const std::string& value);
    void OnTimeout(const std::string& value);
    void OnSql(const std::string& value);
    void OnUserName(const std::string& value);
    void OnPassword(const std::string& value);
    void OnDebug(bool isDebugClient);
    void OnText(const std::string& text);
    void OnEnd();
    // Runs the pending query; its block text, when not ended by </TSQUERY>, goes
    // to the reply as it was written.
    void Finish();

private:
    [[noreturn]] void InvalidSyntax() const;
    // A query run before its /TSQUERY (by another tag or the end of the template) without any
    // SQL had its block left open: that is the error to report, not the missing SQL.
    void CheckClosed() const;

    CQueryTagHost& m_host;
    CNamedQueries& m_queries;
    std::unique_ptr<CTSXQueryImp> m_pending;
    std::string m_origin;
    std::string m_openedAt;
    bool m_ended = false;
    std::string m_rawText;
    std::string m_evaluatedText;
};

// Productions that may stand inside an open query block without running it (the grammar's
// @keepsQueryBlockOpen set).
bool KeepsQueryBlockOpen(unsigned production);
