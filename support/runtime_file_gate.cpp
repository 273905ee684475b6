#include "support/runtime_file_gate.h"

#include "platform/home.h"
#include "platform/path_util.h"
#include "platform/runtime_private_files.h"

namespace {

constexpr const char* kTemplateTempFolder = "tmp/templates";

}  // namespace

bool PathHasNul(const std::string& path) {
    return path.find('\0') != std::string::npos;
}

CRuntimeFileGate::CRuntimeFileGate()
    : m_check([this](const tessaro::platform::OpenedObject& object) {
          return !tessaro::platform::IsPrivateObject(object, Added());
      }) {}

std::vector<std::string> CRuntimeFileGate::Added() const {
    std::lock_guard lock(m_mutex);
    return m_added;
}

bool CRuntimeFileGate::IsPrivate(const std::string& path) const {
    return tessaro::platform::IsPrivatePath(path, Added());
}

bool CRuntimeFileGate::IsNonPrivateFile(const std::string& path) const {
    return tessaro::platform::IsNonPrivateFile(path, Added());
}

void CRuntimeFileGate::AddPrivatePath(const std::string& path) {
    std::string unix = tessaro::platform::ToUnixPath(path);
    if (unix.empty() || PathHasNul(unix)) return;
    std::lock_guard lock(m_mutex);
    for (const std::string& added : m_added)
        if (added == unix) return;
    m_added.push_back(unix);
}

const CRuntimeFileGate& RootOnlyFileGate() {
    static const CRuntimeFileGate kRootOnly;
    return kRootOnly;
}

std::string TemplateTempDirectory() {
    std::string directory = tessaro::platform::HomePath(kTemplateTempFolder);
    tessaro::platform::EnsureDirectory(directory);
    return directory + "/";
}
