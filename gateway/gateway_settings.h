#pragma once
// KSML's limits and waits. Taken from the environment the web server gives the gateway
// (lighttpd: setenv.add-environment), so that no file is read before a request is forwarded.

#include <cstdint>
#include <string>

namespace ksml {

struct GatewaySettings {
    // Largest request body forwarded (TESSARO_MAX_REQUEST_BODY, bytes).
    std::uint64_t max_body_bytes = 100ull * 1024 * 1024;
    // Busy engine: waits of busy_wait_ms before giving up.
    int busy_retries = 31;
    int busy_wait_ms = 1000;
    // A failed service start is tried once more after the termination event and this pause.
    int restart_delay_ms = 3000;
    // Waiting for a started service to report RUNNING.
    int service_start_timeout_ms = 30000;
    int service_poll_ms = 500;
    // A service that reports RUNNING may open its socket a moment later.
    int socket_appear_ms = 5000;
    // Longest silence of the engine while a reply is relayed (TESSARO_REPLY_TIMEOUT, seconds;
    // 0 waits for ever).
    int reply_timeout_seconds = 3600;
    // Longest wait for the engine's answer on the Windows 95 road (TESSARO_WIN95_WAIT, seconds;
    // 0 waits for ever).
    int copy_data_wait_seconds = 300;
    // TESSARO_WIN95=1: requests go to the engine window with a reply file, not to the socket.
    bool windows95 = false;
};

// Defaults overridden by the variables above; a value that is not a plain number is ignored.
GatewaySettings GatewaySettingsFromEnvironment();

// "123" -> 123; anything else (sign, blank, letters, overflow) -> fallback.
std::uint64_t ParseSettingNumber(const char* text, std::uint64_t fallback);

}  // namespace ksml
