#include "platform/process_ids.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace tessaro::platform {

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

long CurrentThreadId() {
    return static_cast<long>(::syscall(SYS_gettid));
}

}  // namespace tessaro::platform
