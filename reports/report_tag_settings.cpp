#include "reports/report_tag_settings.h"

#include "support/server_settings.h"

namespace tessaro::reports {

const ReportTagSettings& ReportTagSettingsOnce::Get(CServerSettings* settings) {
    std::call_once(m_read, [this, settings] {
        auto number = [settings](const char* name, long fallback) {
            return settings ? settings->GetNumber("Reports", name, fallback) : fallback;
        };
        auto text = [settings](const char* name, const char* fallback) {
            return settings ? settings->GetString("Reports", name, fallback) : std::string(fallback);
        };
        const long wait = number("ServerTimeout", 300);
        m_values.defaultTimeoutMs = number("DefaultTimeout", 60) * 1000;
        m_values.serverWaitSeconds = wait > 0 ? wait : 300;
        m_values.trailer = text("CrystalTrailer", "<HR>This report was created using <");
        m_values.image = text("CrystalImage", "ALT=\"CRYSTAL CLEAR IMAGE\"");
    });
    return m_values;
}

}  // namespace tessaro::reports
