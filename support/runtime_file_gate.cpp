#include "support/runtime_file_gate.h"

#include "platform/home.h"
#include "platform/runtime_private_files.h"

namespace {

constexpr const char* kTemplateTempFolder = "tmp/templates";

}  // namespace

bool PathHasNul(const std::string& path) {
    return path.find('\0') != std::string::npos;
}

bool IsRuntimePrivateFile(const std::string& path) {
    return tessaro::platform::IsPrivatePath(path);
}

void AddRuntimePrivatePath(const std::string& path) {
    tessaro::platform::AddPrivatePath(path);
}

const tessaro::platform::OpenedObjectCheck& TemplateFileCheck() {
    return tessaro::platform::NotPrivateCheck();
}

std::string TemplateTempDirectory() {
    std::string directory = tessaro::platform::HomePath(kTemplateTempFolder);
    tessaro::platform::EnsureDirectory(directory);
    return directory + "/";
}
