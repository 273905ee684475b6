// tspipeload: N concurrent clients send GET requests straight to the engine's
// request socket and report requests per second and latency percentiles.
//   tspipeload [--clients N] [--requests M] [--query TEXT] [--socket PATH]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/home.h"
#include "platform/pipe_frame.h"
#include "platform/request_socket.h"

using namespace tessaro::platform;
using Clock = std::chrono::steady_clock;

namespace {

int Connect(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return -1;
    std::memcpy(addr.sun_path, path.data(), path.size());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One request; true when the reply ended with the server's disconnect.
bool OneRequest(const std::string& path, const std::string& block) {
    int fd = Connect(path);
    if (fd < 0) return false;
    bool ok = WritePipeMessage(fd, block);
    bool disconnected = false;
    while (ok) {
        auto r = ReadPipeFrame(fd);
        if (r.status != PipeReadStatus::Ok) break;
        if (r.kind == PipeFrameKind::Disconnect) {
            disconnected = true;
            break;
        }
    }
    ::close(fd);
    return disconnected;
}

double Percentile(std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    std::size_t i = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(i, sorted.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    int clients = 8, requests = 200;
    std::string query = "action=Echo", path;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string opt = argv[i];
        if (opt == "--clients")
            clients = std::max(1, std::atoi(argv[i + 1]));
        else if (opt == "--requests")
            requests = std::max(1, std::atoi(argv[i + 1]));
        else if (opt == "--query")
            query = argv[i + 1];
        else if (opt == "--socket")
            path = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: tspipeload [--clients N] [--requests M] [--query TEXT] [--socket PATH]\n");
            return 2;
        }
    }
    if (path.empty()) path = RequestSocketPath();
    std::string block;
    for (std::string entry : {std::string("REQUEST_METHOD=GET"), "QUERY_STRING=" + query,
                              std::string("REMOTE_ADDR=127.0.0.1"), std::string("SCRIPT_NAME=/bench.tsm")})
        block += entry + std::string(1, '\0');
    block += std::string(1, '\0');

    std::mutex mutex;
    std::vector<double> latencies;
    std::atomic<long> failures{0};
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&] {
            std::vector<double> mine;
            for (int r = 0; r < requests; ++r) {
                auto t0 = Clock::now();
                if (!OneRequest(path, block)) ++failures;
                mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            }
            std::lock_guard lock(mutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        });
    }
    for (auto& t : threads) t.join();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(latencies.begin(), latencies.end());
    std::printf("requests %zu  failures %ld  seconds %.3f  req/s %.1f\n", latencies.size(), failures.load(), seconds,
                static_cast<double>(latencies.size()) / seconds);
    std::printf("latency ms  p50 %.3f  p90 %.3f  p99 %.3f  max %.3f\n", Percentile(latencies, 0.5),
                Percentile(latencies, 0.9), Percentile(latencies, 0.99), latencies.empty() ? 0 : latencies.back());
    return failures.load() == 0 ? 0 : 1;
}
