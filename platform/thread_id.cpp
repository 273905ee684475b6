#include "platform/thread_id.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace tessaro::platform {

long CurrentThreadId() { return static_cast<long>(::syscall(SYS_gettid)); }

}  // namespace tessaro::platform
