#pragma once
// Stand-ins for the engine: a listener on the request socket that records the frames it
// receives and answers with scripted ones, and an engine service whose start and termination
// event calls are scripted.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateway/engine_service.h"
#include "gateway/forward_request.h"
#include "tests/common/temp_home.h"

namespace gateway_test {

struct ReplyFrame {
    std::uint32_t kind;  // 1 message, 2 disconnect
    std::string payload;
};

// Serves one connection after another on the engine's socket path.
class FakeEngineSocket {
public:
    // backlog 0 with accepting off makes the socket look busy.
    explicit FakeEngineSocket(std::vector<ReplyFrame> reply, bool accept = true, int backlog = 16);
    ~FakeEngineSocket();

    // Every frame payload received, in order, once each accepted connection has ended.
    std::vector<std::string> Received();
    int Connections() const { return connections_; }

private:
    void Serve();
    int listen_fd_ = -1;
    std::vector<ReplyFrame> reply_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable served_changed_;
    std::vector<std::string> received_;
    int served_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<bool> stop_{false};
};

// The engine window of the Windows 95 road: takes WM_COPYDATA requests and answers them by
// writing the reply file and signalling the descriptor that came with the message.
class FakeEngineWindow {
public:
    enum class Mode {
        Answer,  // write the reply, signal completion
        Drop,    // return without taking the descriptor (the request is not accepted)
        Hold,    // keep the descriptor and never answer
    };
    struct Request {
        std::uint64_t sender = 0;  // dwData
        std::uint32_t handle = 0;  // first header word
        std::string reply_file, environment, body;
        bool well_formed = false;
    };

    FakeEngineWindow(std::string reply, Mode mode);
    ~FakeEngineWindow();
    bool created() const { return created_; }
    std::vector<Request> Received();

private:
    std::string reply_;
    Mode mode_;
    bool created_ = false;
    std::mutex mutex_;
    std::vector<Request> received_;
    std::vector<int> held_;
    std::unique_ptr<class WindowHolder> window_;
    std::thread loop_;
};

class ScriptedEngine : public ksml::EngineService {
public:
    // Each call takes the next result; missing results mean failure.
    std::vector<bool> start_results;
    std::vector<bool> event_results;
    std::function<void()> on_started;
    // What a failed start reports: by default that there is no such service.
    ksml::GatewayError start_failure{"Error occurred while attempt to open service.", 1060};
    int start_calls = 0;
    int event_calls = 0;

    bool StartServerService(ksml::ErrorReport& errors) override;
    bool SetServerTerminationEvent(ksml::ErrorReport& errors) override;
};

// Quick waits so that retry rules run in milliseconds.
ksml::GatewaySettings FastSettings();

struct GatewayRun {
    std::string output;
    std::vector<std::string> log;
};

// Runs the whole gateway over the given environment and body.
GatewayRun RunKsml(std::vector<std::string> environment, const std::string& body, ksml::EngineService& engine,
                   const ksml::GatewaySettings& settings, const std::string& adminEmail = "");

// The CGI reply KSML writes for these failures.
std::string ErrorPageFor(const std::vector<ksml::GatewayError>& errors);

}  // namespace gateway_test
