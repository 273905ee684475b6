// Makes file permissions bind the calling thread even when the tests run as root, so that a
// read-only file really is read-only to the code under test.
#pragma once

#include <cstdint>

namespace tessaro::test {

// Takes from the calling thread (capabilities are per thread on Linux) the powers to override
// file permissions, and gives them back when destroyed. Without those powers there is nothing
// to take and Engaged() is still true.
class FilePermissionsBindThisThread {
public:
    FilePermissionsBindThisThread();
    ~FilePermissionsBindThisThread();
    FilePermissionsBindThisThread(const FilePermissionsBindThisThread&) = delete;
    FilePermissionsBindThisThread& operator=(const FilePermissionsBindThisThread&) = delete;

    // False when the powers could not be taken away.
    bool Engaged() const { return engaged_; }

private:
    std::uint32_t savedEffective_[2] = {0, 0};
    bool changed_ = false;
    bool engaged_ = false;
};

}  // namespace tessaro::test
