#include "engine/process/engine_threads.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/process/engine_server.h"
#include "engine/server/copy_data_intake.h"
#include "engine/server/engine_globals.h"
#include "engine/server/mail_spooler.h"
#include "engine/server/pipe_listener.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_worker.h"
#include "engine/server/server_error_log.h"
#include "support/trace_log.h"
#include "platform/file_system.h"
#include "platform/named_event.h"
#include "platform/scm_event.h"
#include "platform/scm_service_host.h"
#include "platform/win32_error.h"

using tessaro::platform::ManualResetEvent;
using tessaro::platform::NamedEvent;
using tessaro::platform::Window;
using tessaro::platform::WindowMessage;

namespace {

constexpr unsigned kWorkerDrainMilliseconds = 10000;

std::mutex g_windowMutex;
Window* g_window = nullptr;
// Set once the engine is closing; a window created after that must not start its loop,
// or nothing would ever post it the quit message.
bool g_windowClosing = false;

void TerminationWatcherThread(std::unique_ptr<NamedEvent> event) {
    event->Wait(tessaro::platform::kWaitInfinite);
    event.reset();
    LogServerError("Termination event was set by client (flush queue).", 0);
    std::_Exit(1);
}

void StartTerminationWatcher() {
    long error = 0;
    std::unique_ptr<NamedEvent> event = NamedEvent::Create(kTerminationEventName, &error);
    if (!event) {
        LogServerError("Error attempting to create termination event.", error);
        return;
    }
    // Only the engine's user and its group (shared with the web server) may set it.
    tessaro::platform::SetFileMode(NamedEvent::PathOf(kTerminationEventName), 0620);
    try {
        std::thread(TerminationWatcherThread, std::move(event)).detach();
    } catch (const std::system_error& e) {
        LogServerError("Error attempting to create termination event.", e.code().value());
    }
}

// Without a window the desktop engine still ends on a close signal.
void WaitForCloseSignalWithoutWindow() {
    ManualResetEvent* event = GetMainTerminationEvent();
    if (!event) return;
    while (!event->IsSet()) {
        if (tessaro::platform::TakeCloseSignal(200)) {
            ListeningFlag() = 0;
            event->Set();
        }
    }
}

void WindowThread() {
    long error = 0;
    auto window = Window::Create(kEngineWindowClass, kEngineWindowTitle, MainWindowProc, &error);
    if (!window) {
        LogServerError("Error attempting to create the main window.", error);
        if (!IsServiceMode()) WaitForCloseSignalWithoutWindow();
        return;
    }
    if (!IsServiceMode()) window->EnableCloseSignals();
    {
        std::lock_guard lock(g_windowMutex);
        if (g_windowClosing) return;
        g_window = window.get();
    }
    window->RunMessageLoop();
    DetachMailWindow();
    {
        std::lock_guard lock(g_windowMutex);
        g_window = nullptr;
    }
    window.reset();
    WriteTraceLog("SERVER", "Information", "Exited main application message loop.");
}

}  // namespace

void RequestEngineStop() {
    if (IsServiceMode()) {
        tessaro::platform::RequestServiceStop();
    } else if (ManualResetEvent* event = GetMainTerminationEvent()) {
        ListeningFlag() = 0;
        event->Set();
    }
}

std::int64_t MainWindowProc(Window& window, WindowMessage& message) {
    try {
        switch (message.msg) {
            case tessaro::platform::WM_CREATE:
                AttachMailWindow(window);
                window.SetTimer(kMailTimerId, MailTimerPeriodMs());
                RunMailDeliveryPass();
                return 0;
            case tessaro::platform::WM_DESTROY:
                if (IsServiceMode()) {
                    LogServerError("Service handled unexpected WM_DESTROY message.", 0);
                } else {
                    ListeningFlag() = 0;
                    if (ManualResetEvent* event = GetMainTerminationEvent()) event->Set();
                }
                window.PostQuitMessage();
                return 0;
            case tessaro::platform::WM_QUERYENDSESSION:
                return 1;
            case tessaro::platform::WM_COPYDATA:
                return OnCopyData(message, ListeningFlag() == 1, TheRequestDispatcher(), &TheRequestLimiter());
            case tessaro::platform::WM_TIMER:
                if (message.wParam == kMailTimerId) RunMailDeliveryPass();
                return 0;
            case WM_MAILREADY:
                RunMailDeliveryPass();
                return 0;
            default:
                return 0;
        }
    } catch (...) {
        LogServerError("Unexpected error occurred in main message procedure.", tessaro::platform::GetLastError());
    }
    return 0;
}

unsigned MainThread(ManualResetEvent* terminationEvent) {
    try {
        StartTerminationWatcher();
        std::thread window(WindowThread);
        std::unique_ptr<CPipeListener> listener;
        std::thread listenerThread;
        if (!IsWindows95()) {
            listener = std::make_unique<CPipeListener>(CPipeListener::DefaultSocketPath(), TheRequestDispatcher(),
                                                       &TheRequestLimiter(), ListeningFlag(),
                                                       [](const std::string& text, long number) {
                                                           LogServerError(text, number);
                                                           RequestEngineStop();
                                                       });
            listenerThread = std::thread([&listener] { listener->Run(); });
        }
        terminationEvent->Wait();
        ListeningFlag() = 0;
        if (listener) {
            listener->Stop();
            listenerThread.join();
            listener.reset();
        }
        // Requests in flight finish before the server's objects go away.
        if (!WaitForRequestWorkers(kWorkerDrainMilliseconds))
            LogServerError("Timed out while waiting for requests to finish.", 0);
        ShutdownServer();
        {
            std::lock_guard lock(g_windowMutex);
            g_windowClosing = true;
            DetachMailWindow();
            if (g_window) g_window->PostQuitMessage();
        }
        window.join();
    } catch (...) {
        LogServerError("Unexpected exception occurred in MainThread.", 0);
    }
    return 0;
}
