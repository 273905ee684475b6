#pragma once
// Everything one KSML run carries from step to step.

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
    // Set when that happened: the request was given up, and nobody reads a page any more.
    bool visitor_gone = false;
    // Why KSML's log could not be written, for the error page (null, or empty when it could).
    const std::string* log_problem = nullptr;
};

}  // namespace ksml
