#include "platform/system_log.h"

#include <syslog.h>

namespace tessaro::platform {

void WriteSystemLogError(const char* label, const char* text) {
    ::syslog(LOG_ERR, "%s%s", label ? label : "", text ? text : "");
}

}  // namespace tessaro::platform
