#include "tests/common/file_permissions.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tessaro::test {

namespace {

constexpr std::uint32_t kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);

// The raw calls change this thread only; the C library's wrappers would change every thread.
bool GetCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

bool SetCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

FilePermissionsBindThisThread::FilePermissionsBindThisThread() {
    __user_cap_data_struct data[2] = {};
    if (!GetCaps(data)) return;
    savedEffective_[0] = data[0].effective;
    savedEffective_[1] = data[1].effective;
    if ((data[0].effective & kOverrides) == 0) {
        engaged_ = true;
        return;
    }
    data[0].effective &= ~kOverrides;
    changed_ = SetCaps(data);
    engaged_ = changed_;
}

FilePermissionsBindThisThread::~FilePermissionsBindThisThread() {
    if (!changed_) return;
    __user_cap_data_struct data[2] = {};
    if (!GetCaps(data)) return;
    data[0].effective = savedEffective_[0];
    data[1].effective = savedEffective_[1];
    SetCaps(data);
}

}  // namespace tessaro::test
