#pragma once
// Whether the visitor still waits for the page. A web server may tell its CGI program that
// the visitor has gone by closing the program's output or by a signal, but lighttpd (as the
// README configures it) does neither: it keeps the pipes open, sends no signal and holds the
// reply until the program ends, whatever the program writes. What does change at once is the
// web server's end of the visitor's connection, which leaves the established state when the
// visitor's side closes: the gateway looks at it in the kernel's socket table, by the
// addresses and ports of its CGI variables.

#include <functional>
#include <memory>

namespace tessaro::platform {
class TcpConnectionWatch;
}

namespace ksml {

class VisitorWatch {
public:
    // The connection named by SERVER_ADDR, SERVER_PORT, REMOTE_ADDR and REMOTE_PORT of
    // environment. It is watched only when the first look finds it established (behind a
    // proxy, or with a variable missing, there is nothing to watch and Left stays false);
    // a connection already closed by its visitor counts as left.
    explicit VisitorWatch(const char* const* environment);
    ~VisitorWatch();
    VisitorWatch(const VisitorWatch&) = delete;
    VisitorWatch& operator=(const VisitorWatch&) = delete;

    bool Watching() const { return watching_; }
    // One look; true once the visitor's side has closed. Stays true.
    bool Left();

private:
    std::unique_ptr<tessaro::platform::TcpConnectionWatch> connection_;
    bool watching_ = false;
    bool left_ = false;
};

}  // namespace ksml
