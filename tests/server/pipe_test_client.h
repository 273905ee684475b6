// A client of the engine's request socket for tests: sends the environment
// block and body as frames and collects the reply frames.
#pragma once

#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "platform/pipe_frame.h"

struct PipeReply {
    std::vector<std::string> messages;  // payloads of the MSG frames, in order
    bool disconnected = false;          // a DISCONNECT frame ended the reply
    std::string Text() const {
        std::string all;
        for (const auto& m : messages) all += m;
        return all;
    }
};

inline int ConnectPipe(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), std::min(path.size(), sizeof addr.sun_path - 1));
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline std::string EnvironmentBlock(const std::vector<std::string>& entries) {
    std::string b;
    for (const auto& e : entries) b += e + std::string(1, '\0');
    return b + std::string(1, '\0');
}

inline PipeReply ReadReply(int fd) {
    PipeReply reply;
    for (;;) {
        auto r = tessaro::platform::ReadPipeFrame(fd);
        if (r.status != tessaro::platform::PipeReadStatus::Ok) break;
        if (r.kind == tessaro::platform::PipeFrameKind::Disconnect) {
            reply.disconnected = true;
            break;
        }
        reply.messages.push_back(std::move(r.payload));
    }
    return reply;
}

// One request over a fresh connection; body is sent only when non-empty.
inline PipeReply SendRequest(const std::string& path, const std::vector<std::string>& env,
                             const std::string& body = {}) {
    int fd = ConnectPipe(path);
    if (fd < 0) return {};
    tessaro::platform::WritePipeMessage(fd, EnvironmentBlock(env));
    if (!body.empty()) tessaro::platform::WritePipeMessage(fd, body);
    PipeReply reply = ReadReply(fd);
    ::close(fd);
    return reply;
}
