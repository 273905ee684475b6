#pragma once
// Everything one KSML run carries from step to step.

#include "gateway/engine_service.h"
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
};

}  // namespace ksml
