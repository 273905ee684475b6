// Numbers that name the running process and thread, as logs and peers see them.
#pragma once

namespace tessaro::platform {

long CurrentProcessId();
// The kernel's id of the calling thread (the "TID=" of log lines).
long CurrentThreadId();

}  // namespace tessaro::platform
