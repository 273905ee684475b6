#include "engine/templates/pooled_data_sources.h"

#include "support/server_settings.h"

CPooledDataSourceSet::CPooledDataSourceSet(CServerSettings* settings)
    : m_set(settings != nullptr ? settings->GetRegistrySettings() : nullptr) {}

std::unique_ptr<CRequestDataSourceSet> MakePooledDataSourceSet(CServerSettings* settings) {
    return std::make_unique<CPooledDataSourceSet>(settings);
}
