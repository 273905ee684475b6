#include "engine/templates/pages/pooled_data_sources.h"

#include "support/server_settings.h"
#include "support/web_exception.h"

CPooledDataSourceSet::CPooledDataSourceSet(CServerSettings* settings)
    : m_set(settings != nullptr ? settings->GetRegistrySettings() : nullptr) {}

std::unique_ptr<CRequestDataSourceSet> MakePooledDataSourceSet(CServerSettings* settings) {
    return std::make_unique<CPooledDataSourceSet>(settings);
}

CRequestDataSources& RequestDataSourcesOf(CWDBBasePage& page) {
    auto* sources = dynamic_cast<CPooledDataSourceSet*>(page.GetDataSources());
    if (sources == nullptr)
        throw new CWebException("No data sources available",
                                "The Tessaro engine has no connection pool for ODBC data sources.");
    return sources->Set();
}
