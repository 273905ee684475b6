// Threads for request workers, kept after a request for the next one instead of being
// created and torn down each time. There is no queue and no bound: a job runs at once,
// on a waiting thread or on a new one, exactly as a thread of its own would; the request
// limiter alone decides how many requests work at the same time.
#pragma once

#include <cstddef>
#include <functional>

// The stack of every request thread, whatever the process's limits say: the bounds on what
// a template may nest (sections, includes) leave the page an error, not the engine dead,
// only within a stack of this size.
constexpr std::size_t kRequestThreadStackBytes = 8u << 20;

// Runs job on a pooled thread. Throws like std::thread when no thread can be made.
void RunOnRequestThread(std::function<void()> job);

// How many finished threads may wait for the next job (at least; never lowered).
void KeepRequestThreads(std::size_t count);

// Threads now waiting for a job (tests).
std::size_t IdleRequestThreads();
