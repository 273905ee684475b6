#include "engine/templates/pages/pooled_data_sources.h"

#include "support/web_exception.h"

CRequestDataSources& RequestDataSourcesOf(CWDBBasePage& page) {
    CRequestDataSources* sources = page.GetDataSources();
    if (sources == nullptr)
        throw new CWebException("No data sources available",
                                "The Tessaro engine has no connection pool for ODBC data sources.");
    return *sources;
}
