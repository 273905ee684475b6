#include "printengine/report_file_read.h"

#include "platform/file_ops.h"
#include "support/runtime_file_gate.h"

namespace tessaro::print {

bool ReadReportFile(const std::string& path, std::string* bytes) {
    return tessaro::platform::ReadCheckedFile(path, bytes->max_size(), RootOnlyFileGate().Check(), bytes) == 0;
}

}  // namespace tessaro::print
