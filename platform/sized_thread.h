// Threads whose stack size the program chooses. A thread made with std::thread gets the
// size the process's limits happen to give (the stack limit, or a small built-in size when
// that is unlimited); a request worker needs a known one, since the nesting bounds of the
// templates it runs are measured against it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace tessaro::platform {

// One such thread, joined by its owner (as std::thread, but ending a joinable one joins it).
class SizedThread {
public:
    SizedThread();
    // Runs body on a new thread with a stack of stackBytes (rounded up to whole pages).
    // Throws std::system_error, as std::thread does, when no thread can be made.
    SizedThread(std::function<void()> body, std::size_t stackBytes);
    SizedThread(SizedThread&& other) noexcept;
    SizedThread& operator=(SizedThread&& other) noexcept;
    ~SizedThread();

    bool Joinable() const { return m_handle != nullptr; }
    // Waits for the thread to end; nothing for a thread not joinable.
    void Join();

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
};

}  // namespace tessaro::platform
