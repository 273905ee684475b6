#include "gateway/gateway_settings.h"

#include <limits>

#include "platform/process_environment.h"

namespace ksml {

std::uint64_t ParseSettingNumber(const char* text, std::uint64_t fallback) {
    if (!text || !*text) return fallback;
    std::uint64_t value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return fallback;
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return fallback;
        value = value * 10 + digit;
    }
    return value;
}

namespace {

int SecondsSetting(const char* name, int fallback) {
    std::uint64_t value = ParseSettingNumber(tessaro::platform::EnvironmentValue(name).c_str(), static_cast<std::uint64_t>(fallback));
    // A day is far beyond any sensible wait and keeps the milliseconds inside an int.
    return value > 86400 ? 86400 : static_cast<int>(value);
}

}  // namespace

GatewaySettings GatewaySettingsFromEnvironment() {
    GatewaySettings settings;
    settings.max_body_bytes = ParseSettingNumber(tessaro::platform::EnvironmentValue("TESSARO_MAX_REQUEST_BODY").c_str(),
                                                 settings.max_body_bytes);
    settings.reply_timeout_seconds = SecondsSetting("TESSARO_REPLY_TIMEOUT", settings.reply_timeout_seconds);
    settings.copy_data_wait_seconds = SecondsSetting("TESSARO_WIN95_WAIT", settings.copy_data_wait_seconds);
    settings.windows95 = tessaro::platform::EnvironmentValue("TESSARO_WIN95") == "1";
    return settings;
}

}  // namespace ksml
