#include "gateway/visitor_watch.h"

#include <string>
#include <string_view>

#include "platform/tcp_connection_state.h"

namespace ksml {

namespace {

std::string Variable(const char* const* environment, std::string_view name) {
    for (const char* const* entry = environment; entry && *entry; ++entry) {
        std::string_view text(*entry);
        if (text.size() > name.size() && text.substr(0, name.size()) == name && text[name.size()] == '=')
            return std::string(text.substr(name.size() + 1));
    }
    return {};
}

// A port as the web server writes it; 0 for anything else.
int Port(const std::string& text) {
    if (text.empty() || text.size() > 5) return 0;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        port = port * 10 + (c - '0');
    }
    return port <= 65535 ? port : 0;
}

}  // namespace

VisitorWatch::VisitorWatch(const char* const* environment) {
    const int serverPort = Port(Variable(environment, "SERVER_PORT"));
    const int remotePort = Port(Variable(environment, "REMOTE_PORT"));
    if (serverPort == 0 || remotePort == 0) return;
    connection_ = std::make_unique<tessaro::platform::TcpConnectionWatch>(
        Variable(environment, "SERVER_ADDR"), serverPort, Variable(environment, "REMOTE_ADDR"), remotePort);
    switch (connection_->Look()) {
        case tessaro::platform::TcpConnectionState::Established:
            watching_ = true;
            break;
        case tessaro::platform::TcpConnectionState::Closing:
            watching_ = true;
            left_ = true;
            break;
        case tessaro::platform::TcpConnectionState::Unknown:
            connection_.reset();
            break;
    }
}

VisitorWatch::~VisitorWatch() = default;

bool VisitorWatch::Left() {
    if (!watching_ || left_) return left_;
    left_ = connection_->Look() == tessaro::platform::TcpConnectionState::Closing;
    return left_;
}

}  // namespace ksml
