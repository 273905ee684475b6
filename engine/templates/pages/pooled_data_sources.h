// The page's data-source set over the connection pool: the request's connections
// and the cursors its tags run statements on.
#pragma once

#include <memory>

#include "database/access/request_data_sources.h"
#include "engine/templates/pages/wdb_base_page.h"

class CServerSettings;

class CPooledDataSourceSet : public CRequestDataSourceSet {
public:
    explicit CPooledDataSourceSet(CServerSettings* settings);
    void ReleaseConnections(bool close) override { m_set.ReleaseConnections(close); }
    bool WriteSQLInfo() const override { return m_set.WriteSQLInfo() != 0; }
    CRequestDataSources& Set() { return m_set; }

private:
    CRequestDataSources m_set;
};

// The page's set over the pool; throws CWebException when the engine has no pool.
CRequestDataSources& RequestDataSourcesOf(CWDBBasePage& page);

// The factory CWDBBasePage::SetDataSourceFactory takes.
std::unique_ptr<CRequestDataSourceSet> MakePooledDataSourceSet(CServerSettings* settings);
