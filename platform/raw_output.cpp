#include "platform/raw_output.h"
#include "platform/system_calls.h"

#include <unistd.h>

#include <cerrno>

namespace tessaro::platform {

void WriteToStandardError(const char* text, std::size_t length) {
    int saved = errno;
    WriteAll(2, text, length);
    errno = saved;
}

}  // namespace tessaro::platform
