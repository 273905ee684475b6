// The Reports settings of the engine's TSREPORT: the wait for the report server's turn, the
// wait for one report, and the markers the report's HTML is cut by. The engine reads them
// at its first report and keeps them for its life; a change takes effect when the engine
// starts again.
#pragma once

#include <mutex>
#include <string>

class CServerSettings;

namespace tessaro::reports {

struct ReportTagSettings {
    long defaultTimeoutMs = 0;   // DefaultTimeout (seconds, default 60), in milliseconds
    long serverWaitSeconds = 0;  // ServerTimeout, default 300 (0 or less: the default)
    std::string trailer;         // CrystalTrailer, default "<HR>This report was created using <"
    std::string image;           // CrystalImage, default ALT="CRYSTAL CLEAR IMAGE"
};

// One per engine: the first Get reads the settings through settings (null: the defaults);
// every later one, on any thread, answers the same values.
class ReportTagSettingsOnce {
public:
    const ReportTagSettings& Get(CServerSettings* settings);

private:
    std::once_flag m_read;
    ReportTagSettings m_values;
};

}  // namespace tessaro::reports
