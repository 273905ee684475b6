#pragma once
// Everything one KSML run carries from step to step.

#include <functional>
#include <string>

#include "gateway/engine_service.h"
#include "platform/descriptor.h"
#include "gateway/error_page.h"
#include "gateway/gateway_log.h"
#include "gateway/gateway_settings.h"
#include "gateway/reply_relay.h"

namespace ksml {

struct GatewayState {
    GatewayState(const GatewaySettings& s, LogSink logSink, OutputSink out, EngineService& e)
        : settings(s), log(logSink), relay(std::move(out)), errors(logSink), engine(e) {}

    const GatewaySettings& settings;
    LogSink log;
    ReplyRelay relay;
    ErrorReport errors;
    EngineService& engine;
    // The web server's end of the reply (standard output), watched while the gateway waits
    // for the engine: a web server whose visitor has gone closes it. -1: not watched.
    int web_server_output = -1;
    // Asked now and then while the gateway waits for the engine: true once the visitor has
    // gone although the web server said nothing (VisitorWatch). Empty: not asked.
    std::function<bool()> visitor_left;
    // Set when that happened: the request was given up, and nobody reads a page any more.
    bool visitor_gone = false;
    // Why KSML's log could not be written, for the error page (null, or empty when it could).
    const std::string* log_problem = nullptr;
};

}  // namespace ksml
