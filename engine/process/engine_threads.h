// The long-lived threads of tsengine: the main thread, the termination watcher,
// the window thread and the request listener.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace tessaro::platform {
class ManualResetEvent;
}

// Starts the watcher, the window thread and (not on the Windows 95 road) the
// listener; waits for the termination event; then stops and shuts down.
unsigned MainThread(tessaro::platform::ManualResetEvent* terminationEvent);

// The engine window's procedure.
std::int64_t MainWindowProc(tessaro::platform::Window& window, tessaro::platform::WindowMessage& message);

// The one normal stop path: the stop event in service mode, the main
// termination event in desktop mode.
void RequestEngineStop();
