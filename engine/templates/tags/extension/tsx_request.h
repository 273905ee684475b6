// The engine's side of the extension tag interface (interfaces/tsx.h): the request a
// tag procedure receives, string sets, query views and the exception.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/tsx.h"
#include "support/web_message.h"

class CNamedQueries;
class CTSXQueryImp;

class CTSXExceptionImp : public CTSXException {
public:
    CTSXExceptionImp(const CWebMessage& title, const CWebMessage& detail)
        : m_title(title.Html()), m_detail(detail.Html()) {}
    const char* GetTitle() override { return m_title.c_str(); }
    const char* GetDetail() override { return m_detail.c_str(); }

private:
    std::string m_title, m_detail;
};

// Throws new CTSXExceptionImp with the title of illegal interface calls.
[[noreturn]] void ThrowIllegalTSXOperation(const CWebMessage& detail);

class CTSXStringSetImp : public CTSXStringSet {
public:
    int AddString(const char* text) override;
    int GetCount() override { return static_cast<int>(m_strings.size()); }
    const char* GetString(int index) override;
    int GetIndexForString(const char* text) override;

private:
    std::vector<std::unique_ptr<char[]>> m_strings;
};

// An extension's view of one of the page's queries.
class CTSXQueryView : public CTSXQuery {
public:
    explicit CTSXQueryView(CTSXQueryImp& query) : m_query(query) {}
    const char* GetName() override;
    int GetRowCount() override;
    CTSXStringSet* GetColumns() override;
    const char* GetData(int row, int column) override;
    int AddRow() override;
    void SetData(int row, int column, const char* value) override;
    void SetSQL(const char* text) override;
    void SetExecutionTime(int milliseconds) override;
    // Returns the new column's 0-based position; refused once rows exist.
    int AddColumn(const std::string& name);
    CTSXQueryImp& Query() { return m_query; }

private:
    void CheckCell(int row, int column) const;

    CTSXQueryImp& m_query;
    std::vector<std::unique_ptr<CTSXStringSetImp>> m_columnSets;
};

// What a request reaches of its page.
struct TSXRequestHost {
    CNamedQueries* queries = nullptr;
    std::function<void(const std::string& text)> write;
    std::function<void(const std::string& name, const std::string& value)> setVariable;
    // A value of the tag's registry key, "" when absent.
    std::function<std::string(const std::string& name)> getSetting;
};

class CTSXRequestImp : public CTSXRequest {
public:
    // attributes: name as written to value, in the order first given.
    CTSXRequestImp(TSXRequestHost host, std::vector<std::pair<std::string, std::string>> attributes,
                   CTSXQueryImp* query, bool debug);

    TSXBOOL AttributeExists(const char* name) override;
    const char* GetAttribute(const char* name) override;
    CTSXStringSet* GetAttributeList() override;
    CTSXQuery* GetQuery() override;
    const char* GetSetting(const char* name) override;
    void Write(const char* text) override;
    void SetVariable(const char* name, const char* value) override;
    CTSXQuery* AddQuery(const char* name, CTSXStringSet* columns) override;
    TSXBOOL IsDebug() override { return m_debug ? 1 : 0; }
    void WriteDebug(const char* text) override;
    CTSXStringSet* CreateStringSet() override;
    void ThrowException(const char* title, const char* detail) override;
    void RethrowException(CTSXException* exception) override;
    void SetCustomData(void* data) override { m_customData = data; }
    void* GetCustomData() override { return m_customData; }

    const std::string& GetDebugText() const { return m_debugText; }
    // The setting as the tag manager reads it.
    std::string Setting(const std::string& name) { return m_host.getSetting(name); }

private:
    CTSXQueryView* ViewOf(CTSXQueryImp* query);

    TSXRequestHost m_host;
    std::vector<std::pair<std::string, std::string>> m_attributes;
    CTSXQueryImp* m_query;
    bool m_debug;
    std::string m_debugText;
    void* m_customData = nullptr;
    std::vector<std::unique_ptr<CTSXStringSetImp>> m_sets;
    std::vector<std::unique_ptr<std::string>> m_settings;
    std::map<CTSXQueryImp*, std::unique_ptr<CTSXQueryView>> m_views;
};
