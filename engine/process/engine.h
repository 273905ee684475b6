// The engine: every service tsengine runs on, owned by one object. Its members stand in
// the order the engine starts them; server initialisation builds them in that order, and
// shutdown and the end of the object free them in reverse. Requests reach them through
// the request road and the template services the engine hands out, never through globals.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/server/engine_switches.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_thread_pool.h"
#include "engine/server/request_watch.h"
#include "engine/server/request_worker.h"
#include "engine/templates/template_services.h"
#include "support/runtime_file_gate.h"

class CExpressionEvaluationDriver;
class CTSCustomTagManager;
class CTemplateTables;
class ConnectionPool;
class TSMail;

namespace tessaro::platform {
class ManualResetEvent;
class Window;
struct WindowMessage;
}  // namespace tessaro::platform

class CEngine {
public:
    // What is made when the process starts: the run mode, the request limiter (it reads
    // its settings and makes its semaphore now, once) and the request threads.
    explicit CEngine(const EngineSwitches& switches);
    ~CEngine();
    CEngine(const CEngine&) = delete;
    CEngine& operator=(const CEngine&) = delete;

    // Desktop mode for -DEBUG/-DESKTOP and on the Windows 95 road; decided at start.
    bool IsServiceMode() const { return m_serviceMode; }

    // Server initialisation: the allocator, the dispatcher's set-up, then the subsystems;
    // false with the error text. mailFailed tells the caller that the mail spooler could
    // not be built (its line is already in the SERVER log, the text stays empty).
    bool InitializeServer(std::string& errorText, bool serviceFlag, bool& mailFailed);
    // The subsystems' end, then the allocator's; never throws.
    void ShutdownServer();

    // Starts the termination watcher, the window thread and (not on the Windows 95 road)
    // the listener; waits for the termination event; then stops and shuts down.
    unsigned MainThread(tessaro::platform::ManualResetEvent* terminationEvent);
    // The desktop program: initialisation, the main thread until it ends. The exit status:
    // 1 when the mail spooler could not be built, else 0 (failures are logged).
    int RunDesktop();
    // The one normal stop path: the stop event in service mode, the main termination
    // event in desktop mode.
    void RequestStop();

    // Something still runs that uses the engine: a request worker that outlived the
    // shutdown's wait, or a main thread the service layer gave up waiting for.
    bool StillRunning() const { return m_requestThreads.Running() > 0 || m_mainThreadRunning; }

private:
    // Throws as the subsystems fail; false when the mail spooler cannot be built.
    bool StartSubsystems(bool serviceFlag);
    void StopSubsystems();
    RequestRoad Road();
    void WindowThread();
    std::int64_t WindowProc(tessaro::platform::Window& window, tessaro::platform::WindowMessage& message);

    // Made when the process starts.
    const bool m_serviceMode;
    // 1 while new requests are taken; cleared once at shutdown.
    std::atomic<int> m_listening{1};
    std::atomic<bool> m_mainThreadRunning{false};
    // The main termination event of desktop mode (null in service mode).
    std::atomic<tessaro::platform::ManualResetEvent*> m_mainTermination{nullptr};
    RequestLimiter m_limiter;
    // Looks at every request in work; the request threads below use it until they end.
    CRequestWatch m_requestWatch;
    // Its jobs have ended before anything below goes (shutdown waits for them).
    CRequestThreadPool m_requestThreads;

    // Built by server initialisation, in this order.
    CRequestDispatcher m_dispatcher;
    // The private files every template road refuses (the mail spooler adds its folder).
    CRuntimeFileGate m_files;
    std::unique_ptr<CTemplateTables> m_templateTables;
    std::unique_ptr<CExpressionEvaluationDriver> m_expressions;
    std::unique_ptr<ConnectionPool> m_connections;
    std::unique_ptr<TSMail> m_mail;
    std::unique_ptr<CTSCustomTagManager> m_customTags;
    // The pages' view of the services above: it reads these members, so it sees each
    // service while it exists.
    TemplateServices m_templateServices{.files = &m_files,
                                        .grammar = m_templateTables,
                                        .expressions = m_expressions,
                                        .connections = m_connections,
                                        .mail = m_mail,
                                        .customTags = m_customTags,
                                        .reportServer = {},
                                        .reportSettings = {}};

    // The engine window while the window thread runs it.
    std::mutex m_windowMutex;
    tessaro::platform::Window* m_window = nullptr;
    // Set once the engine is closing; a window created after that must not start its loop,
    // or nothing would ever post it the quit message.
    bool m_windowClosing = false;
};
