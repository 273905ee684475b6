#include "platform/random_bytes.h"
#include "platform/system_calls.h"

#include <cerrno>

namespace tessaro::platform {

bool FillRandomBytes(void* buffer, std::size_t len) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    std::size_t filled = 0;
    while (filled < len) {
        ssize_t got = RetryOnInterrupt([&] { return SystemCalls().getrandom(out + filled, len - filled, 0); });
        if (got < 0) return false;
        // A source that gives nothing would never end the loop.
        if (got == 0) {
            errno = EIO;
            return false;
        }
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace tessaro::platform
