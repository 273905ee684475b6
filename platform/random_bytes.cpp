#include "platform/random_bytes.h"
#include "platform/system_calls.h"

#include <cerrno>
#include <sys/random.h>

namespace tessaro::platform {

bool FillRandomBytes(void* buffer, std::size_t len) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    std::size_t filled = 0;
    while (filled < len) {
        ssize_t got = SystemCalls().getrandom(out + filled, len - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace tessaro::platform
