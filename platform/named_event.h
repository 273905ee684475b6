// Named manual-reset events as FIFOs under $TESSARO_HOME/run/EVENT/<name>.
// The creator holds the FIFO open read-write, so a reader always exists while it
// lives; setting writes one byte, waiting polls for input without draining it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tessaro::platform {

constexpr std::uint32_t kWaitInfinite = 0xFFFFFFFFu;

class NamedEvent {
public:
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    // Names are at most 200 characters (longer ones fail with 206).
    // Creates the event (an existing FIFO is reused) and holds it open.
    // Null on failure with the Windows error number in *error (optional).
    static std::unique_ptr<NamedEvent> Create(const std::string& name, long* error = nullptr);

    // Sets the event named name held by another object or process.
    // 0, or 2 when nobody holds it (no FIFO, or no reader), else the mapped errno.
    static long Set(const std::string& name);

    // The FIFO path of a name. Slashes and backslashes in the name become '_'.
    static std::string PathOf(const std::string& name);

    // Sets this event.
    long Set();
    // True when set within timeoutMs (kWaitInfinite waits for ever). Does not reset.
    bool Wait(std::uint32_t timeoutMs);
    // Drains the pending bytes.
    void Reset();

    const std::string& Name() const { return name_; }
    // Non-blocking; readable while the event is set.
    int Descriptor() const { return fd_; }

private:
    NamedEvent(std::string name, int fd) : name_(std::move(name)), fd_(fd) {}
    std::string name_;
    int fd_ = -1;
};

}  // namespace tessaro::platform
