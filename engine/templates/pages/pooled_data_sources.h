// The page's data sources over the engine's connection pool: the request's connections and
// the cursors its tags run statements on.
#pragma once

#include "database/access/request_data_sources.h"
#include "engine/templates/pages/wdb_base_page.h"

// The page's set over the pool; throws CWebException when the engine has no pool.
CRequestDataSources& RequestDataSourcesOf(CWDBBasePage& page);
