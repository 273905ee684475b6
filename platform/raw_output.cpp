#include "platform/raw_output.h"

#include <unistd.h>

#include <cerrno>

namespace tessaro::platform {

void WriteToStandardError(const char* text, std::size_t length) {
    int saved = errno;
    while (length > 0) {
        ssize_t n = ::write(2, text, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text += n;
        length -= static_cast<std::size_t>(n);
    }
    errno = saved;
}

}  // namespace tessaro::platform
