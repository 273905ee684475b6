// The file an open descriptor names, for fakes of the system call table that fail calls on
// some files only.
#pragma once

#include <unistd.h>

#include <string>

namespace tessaro::test {

// The path the descriptor was opened by (as the kernel shows it); empty when it has none.
inline std::string DescriptorPath(int fd) {
    char target[4096];
    ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace tessaro::test
