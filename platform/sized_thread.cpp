#include "platform/sized_thread.h"
#include "platform/system_calls.h"

#include <pthread.h>
#include <unistd.h>

#include <system_error>

namespace tessaro::platform {

struct SizedThread::Handle {
    pthread_t thread;
};

namespace {

void* RunBody(void* argument) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    (*body)();
    return nullptr;
}

std::size_t WholePages(std::size_t bytes) {
    long page = ::sysconf(_SC_PAGESIZE);
    std::size_t size = page > 0 ? static_cast<std::size_t>(page) : 4096;
    const std::size_t least = static_cast<std::size_t>(PTHREAD_STACK_MIN);
    if (bytes < least) bytes = least;
    return (bytes + size - 1) / size * size;
}

}  // namespace

SizedThread::SizedThread(std::function<void()> body, std::size_t stackBytes) {
    pthread_attr_t attributes;
    int rc = SystemCalls().pthread_attr_init(&attributes);
    if (rc != 0) throw std::system_error(rc, std::generic_category(), "pthread_attr_init");
    rc = SystemCalls().pthread_attr_setstacksize(&attributes, WholePages(stackBytes));
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    auto handle = std::make_unique<Handle>();
    if (rc == 0) rc = SystemCalls().pthread_create(&handle->thread, &attributes, RunBody, owned.get());
    SystemCalls().pthread_attr_destroy(&attributes);
    if (rc != 0) throw std::system_error(rc, std::generic_category(), "pthread_create");
    owned.release();  // the thread owns it now
    m_handle = std::move(handle);
}

SizedThread::SizedThread() = default;
SizedThread::SizedThread(SizedThread&& other) noexcept = default;

SizedThread& SizedThread::operator=(SizedThread&& other) noexcept {
    if (this != &other) {
        Join();
        m_handle = std::move(other.m_handle);
    }
    return *this;
}

SizedThread::~SizedThread() {
    Join();
}

void SizedThread::Join() {
    if (!m_handle) return;
    SystemCalls().pthread_join(m_handle->thread, nullptr);
    m_handle.reset();
}

}  // namespace tessaro::platform
