#include "gateway/gateway_settings.h"

#include <cstdlib>
#include <cstring>
#include <limits>

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
    std::uint64_t value = ParseSettingNumber(std::getenv(name), static_cast<std::uint64_t>(fallback));
    // A day is far beyond any sensible wait and keeps the milliseconds inside an int.
    return value > 86400 ? 86400 : static_cast<int>(value);
}

}  // namespace

GatewaySettings GatewaySettingsFromEnvironment() {
    GatewaySettings settings;
    settings.max_body_bytes = ParseSettingNumber(std::getenv("TESSARO_MAX_REQUEST_BODY"), settings.max_body_bytes);
    settings.reply_timeout_seconds = SecondsSetting("TESSARO_REPLY_TIMEOUT", settings.reply_timeout_seconds);
    settings.copy_data_wait_seconds = SecondsSetting("TESSARO_WIN95_WAIT", settings.copy_data_wait_seconds);
    const char* win95 = std::getenv("TESSARO_WIN95");
    settings.windows95 = win95 && std::strcmp(win95, "1") == 0;
    return settings;
}

}  // namespace ksml
