// What a TSQUERY block needs of the page: the reply for block text, SQL
// substitution, the request's connection and the query debug block.
#pragma once

#include <string>

#include "engine/templates/core/query_block.h"

class CQueryPage;

class CPageQueryHost : public CQueryTagHost {
public:
    explicit CPageQueryHost(CQueryPage& page) : m_page(page) {}

    void WriteText(const std::string& text) override;
    std::string SubstituteSql(const std::string& text) override;
    void UseDataSource(const CDataSourceLogin& login) override;
    void Execute(CTSXQueryImp& query) override;
    void AddDebugLine(const std::string& line) override;
    std::string PositionReport() override;

private:
    CQueryPage& m_page;
};
