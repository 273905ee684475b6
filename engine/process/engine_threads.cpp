// The long-lived threads of the engine: the main thread, the termination watcher, the
// window thread with the engine window's procedure, and the request listener.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/process/engine.h"
#include "engine/server/copy_data_intake.h"
#include "engine/server/engine_mode.h"
#include "engine/server/mail_spooler.h"
#include "engine/server/pipe_listener.h"
#include "engine/server/server_error_log.h"
#include "platform/error_words.h"
#include "platform/file_system.h"
#include "platform/named_event.h"
#include "platform/scm_event.h"
#include "platform/scm_service_host.h"
#include "platform/win32_error.h"
#include "platform/window.h"
#include "support/trace_log.h"

using tessaro::platform::ManualResetEvent;
using tessaro::platform::NamedEvent;
using tessaro::platform::Window;
using tessaro::platform::WindowMessage;

namespace {

constexpr unsigned kWorkerDrainMilliseconds = 10000;

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
    // Only the engine's user and its group may set it.
    tessaro::platform::SetFileMode(NamedEvent::PathOf(kTerminationEventName), 0620);
    // A set that this engine did not see happen was meant for one before it (a gateway that
    // gave up on an engine that has gone since): it must not end this one.
    event->Reset();
    try {
        std::thread(TerminationWatcherThread, std::move(event)).detach();
    } catch (const std::system_error& e) {
        LogServerError("Error attempting to create termination event.", e.code().value());
    }
}

}  // namespace

void CEngine::WindowThread() {
    long error = 0;
    auto window = Window::Create(
        kEngineWindowClass, kEngineWindowTitle,
        [this](Window& w, WindowMessage& message) { return WindowProc(w, message); }, &error);
    if (!window) {
        LogServerError("Error attempting to create the main window.", error);
        if (!m_serviceMode) {
            // Without its window the desktop engine would deliver no mail and take no request of
            // the Windows 95 road (a window of that class still exists: another engine runs): it
            // ends, and says so where it was started.
            std::fprintf(stderr,
                         "tsengine: error %s: the engine window could not be created (is another engine running?); "
                         "the desktop engine ends.\n",
                         tessaro::platform::ErrorNumberWithWords(error).c_str());
            RequestStop();
        }
        return;
    }
    if (!m_serviceMode) window->EnableCloseSignals();
    {
        std::lock_guard lock(m_windowMutex);
        if (m_windowClosing) return;
        m_window = window.get();
    }
    window->RunMessageLoop();
    if (m_mail) m_mail->DetachWindow();
    {
        std::lock_guard lock(m_windowMutex);
        m_window = nullptr;
    }
    window.reset();
    WriteTraceLog("SERVER", "Information", "Exited main application message loop.");
}

void CEngine::RequestStop() {
    if (m_serviceMode) {
        tessaro::platform::RequestServiceStop();
    } else if (ManualResetEvent* event = m_mainTermination.load()) {
        m_listening = 0;
        event->Set();
    }
}

std::int64_t CEngine::WindowProc(Window& window, WindowMessage& message) {
    try {
        switch (message.msg) {
            case tessaro::platform::WM_CREATE:
                if (m_mail) {
                    AttachMailWindow(*m_mail, window, m_listening);
                    window.SetTimer(kMailTimerId, MailTimerPeriodMs());
                    m_mail->ProcessWaitingMessages();
                }
                return 0;
            case tessaro::platform::WM_DESTROY:
                if (m_serviceMode) {
                    LogServerError("Service handled unexpected WM_DESTROY message.", 0);
                } else {
                    m_listening = 0;
                    if (ManualResetEvent* event = m_mainTermination.load()) event->Set();
                }
                window.PostQuitMessage();
                return 0;
            case tessaro::platform::WM_QUERYENDSESSION:
                return 1;
            case tessaro::platform::WM_COPYDATA:
                return OnCopyData(message, m_listening == 1, Road());
            case tessaro::platform::WM_TIMER:
                if (message.wParam == kMailTimerId && m_mail) m_mail->ProcessWaitingMessages();
                return 0;
            case WM_MAILREADY:
                if (m_mail) m_mail->ProcessWaitingMessages();
                return 0;
            default:
                return 0;
        }
    } catch (...) {
        LogServerError("Unexpected error occurred in main message procedure.", tessaro::platform::GetLastError());
    }
    return 0;
}

unsigned CEngine::MainThread(ManualResetEvent* terminationEvent) {
    m_mainThreadRunning = true;
    try {
        StartTerminationWatcher();
        std::thread window([this] { WindowThread(); });
        std::unique_ptr<CPipeListener> listener;
        std::thread listenerThread;
        if (!IsWindows95()) {
            listener = std::make_unique<CPipeListener>(CPipeListener::DefaultSocketPath(), Road(), m_listening,
                                                       [this](const std::string& text, long number) {
                                                           LogServerError(text, number);
                                                           RequestStop();
                                                       });
            listenerThread = std::thread([&listener] { listener->Run(); });
        }
        terminationEvent->Wait();
        m_listening = 0;
        if (listener) {
            listener->Stop();
            listenerThread.join();
            listener.reset();
        }
        // Requests in flight stop, their statements cancelled, and finish before the server's
        // objects go away.
        m_requestWatch.StopAll(RequestStop::ShuttingDown);
        if (!m_requestThreads.WaitForJobs(kWorkerDrainMilliseconds))
            LogServerError("Timed out while waiting for requests to finish.", 0);
        ShutdownServer();
        {
            std::lock_guard lock(m_windowMutex);
            m_windowClosing = true;
            if (m_mail) m_mail->DetachWindow();
            if (m_window) m_window->PostQuitMessage();
        }
        window.join();
    } catch (...) {
        LogServerError("Unexpected exception occurred in MainThread.", 0);
    }
    m_mainThreadRunning = false;
    return 0;
}
