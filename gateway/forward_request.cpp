#include "gateway/forward_request.h"

#include <new>

#include "gateway/copy_data_forwarder.h"
#include "gateway/environment_block.h"
#include "gateway/request_body.h"
#include "gateway/server_pipe.h"
#include "platform/descriptor.h"
#include "platform/path_util.h"

namespace ksml {

namespace {

// The value of name in the given environment, or null.
const char* FindVariable(const char* const* environment, std::string_view name) {
    for (const char* const* entry = environment; entry && *entry; ++entry) {
        std::string_view text(*entry);
        if (text.size() > name.size() && text.substr(0, name.size()) == name && text[name.size()] == '=')
            return *entry + name.size() + 1;
    }
    return nullptr;
}

struct PipeCloser {
    int fd = -1;
    ~PipeCloser() { tessaro::platform::CloseDescriptor(fd); }
};

}  // namespace

bool ForwardRequest(const char* const* environment, int inputFd, GatewayState& state) {
    std::string block;
    std::string body;
    try {
        block = BuildEnvironmentBlock(environment);
    } catch (const std::bad_alloc&) {
        state.errors.Add("Windows NT exception occurred while reading environment parameters from standard input.", 8);
        return false;
    }
    // The engine reads a body only with a POST that names its content type; one sent with
    // anything else would sit unread in the socket and could stall both sides.
    const char* method = FindVariable(environment, "REQUEST_METHOD");
    const char* contentType = FindVariable(environment, "CONTENT_TYPE");
    BodyStatus bodyStatus = BodyStatus::None;
    if (method && tessaro::platform::EqualsNoCase(method, "POST") && contentType && *contentType) {
        bodyStatus = ReadRequestBody(inputFd, contentType, FindVariable(environment, "CONTENT_LENGTH"),
                                     state.settings.max_body_bytes, body, state.errors);
        if (bodyStatus == BodyStatus::Failed) return false;
    }

    if (state.settings.windows95) return ForwardViaCopyData(block, body, state);

    PipeCloser pipe{OpenServerPipe(state)};
    if (pipe.fd < 0) return false;
    if (!SendPipeRequest(pipe.fd, block, state) ||
        (bodyStatus == BodyStatus::Read && !SendPipeRequest(pipe.fd, body, state))) {
        // An engine that refuses a request (one too large for it) answers and closes before
        // taking all of it; its page says why, where the failed send alone would say "busy".
        ErrorReport sendFailure = state.errors;
        if (RelayPipeReply(pipe.fd, state)) return true;
        if (state.visitor_gone) return false;
        state.errors = std::move(sendFailure);
        return false;
    }
    return RelayPipeReply(pipe.fd, state);
}

void RunGateway(const char* const* environment, int inputFd, GatewayState& state,
                const std::function<std::string()>& adminEmail) {
    bool forwarded = false;
    try {
        forwarded = ForwardRequest(environment, inputFd, state);
    } catch (const std::bad_alloc&) {
        state.errors.Add("Error attempting to allocate memory for content stream", 8);
    }
    if (forwarded) {
        state.relay.Finish();
        return;
    }
    if (state.visitor_gone) {
        state.errors.Warn("The visitor left before the reply was complete (the web server closed the gateway's "
                          "output, or the visitor's connection closed); the request was given up.");
        return;
    }
    if (state.log_problem && !state.log_problem->empty()) state.errors.AddUnlogged(*state.log_problem, 0);
    WriteErrorPage(state.relay, state.errors, adminEmail ? adminEmail() : std::string());
}

}  // namespace ksml
