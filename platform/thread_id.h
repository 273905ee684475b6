// The kernel's id of the calling thread (GetCurrentThreadId), as log lines show it.
#pragma once

namespace tessaro::platform {

long CurrentThreadId();

}  // namespace tessaro::platform
