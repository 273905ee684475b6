#include "engine/server/request_worker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/server/current_exception.h"
#include "engine/server/request_context.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_thread_pool.h"
#include "support/web_exception.h"
#include "platform/descriptor.h"
#include "platform/framework_exception.h"

namespace {

std::mutex g_workersMutex;
std::condition_variable g_workersEnded;
long g_workers = 0;

}  // namespace

long ActiveRequestWorkers() {
    std::lock_guard lock(g_workersMutex);
    return g_workers;
}

void RequestWorkerStarted() {
    std::lock_guard lock(g_workersMutex);
    ++g_workers;
}

void RequestWorkerEnded() {
    std::lock_guard lock(g_workersMutex);
    if (--g_workers == 0) g_workersEnded.notify_all();
}

bool WaitForRequestWorkers(unsigned timeoutMs) {
    std::unique_lock lock(g_workersMutex);
    return g_workersEnded.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return g_workers == 0; });
}

void ProcessRequest(CRequestContext* context, CRequestDispatcher& dispatcher) {
    CRequestReader* reader = context->m_pReader;
    CReplyWriter* writer = context->m_pWriter;
    auto report = [&](const std::string& title, const std::string& detail) {
        try {
            dispatcher.ReportRequestError(reader, writer, title, detail);
            if (writer && !writer->IsFinished()) writer->Finish();
        } catch (CException* e) {
            e->Delete();
        } catch (...) {
        }
    };
    try {
        if (reader) reader->ParseCgiEnvironment();
        dispatcher.HandleRequest(reader, writer);
    } catch (...) {
        ExceptionReport error = DescribeCurrentException();
        report(error.title, error.detail);
    }
}

void RunRequest(CRequestContext* context, RequestLimiter* limiter, CRequestDispatcher& dispatcher) {
    RequestLimiterGuard guard(limiter);
    if (guard.Acquired()) ProcessRequest(context, dispatcher);
    try {
        tessaro::platform::CloseDescriptor(context->m_socket);
        context->m_socket = -1;
        delete context;
    } catch (...) {
    }
}

bool StartRequestThread(CRequestContext* context, RequestLimiter* limiter, CRequestDispatcher& dispatcher) {
    RequestWorkerStarted();
    try {
        RunOnRequestThread([context, limiter, &dispatcher] {
            RunRequest(context, limiter, dispatcher);
            RequestWorkerEnded();
        });
        return true;
    } catch (...) {
        RequestWorkerEnded();
        tessaro::platform::CloseDescriptor(context->m_socket);
        context->m_socket = -1;
        delete context;
        return false;
    }
}
