#include "reports/report_files.h"

#include <cstdio>

#include "platform/file_system.h"
#include "platform/home.h"
#include "platform/private_file.h"
#include "platform/random_bytes.h"

namespace tessaro::reports {

std::string ReportWorkDirectory(long* error) {
    std::string dir = platform::HomePath("tmp/tsr");
    long code = platform::EnsurePrivateDirectory(dir);
    if (error) *error = code;
    return dir;
}

std::string CreateRequestFolder(long* error) {
    long code = 0;
    std::string root = ReportWorkDirectory(&code);
    if (code != 0) {
        *error = code;
        return {};
    }
    unsigned char bytes[12];
    if (!platform::FillRandomBytes(bytes, sizeof bytes)) {
        *error = 5;
        return {};
    }
    std::string name = "r";
    for (unsigned char b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        name += hex;
    }
    std::string folder = root + "/" + name;
    // The name is new: a folder already there (nobody else can write the work folder)
    // would mean a clash, which is refused rather than shared.
    if (platform::GetFileKind(folder) != platform::FileKind::Missing) {
        *error = 183;
        return {};
    }
    *error = platform::EnsurePrivateDirectory(folder);
    return *error == 0 ? folder : std::string();
}

void RemoveRequestFolder(const std::string& folder) {
    if (folder.empty()) return;
    for (const char* file : {kRequestFile, kResponseFile, kErrorFile, kOutputFile})
        platform::RemoveFile(folder + "/" + file);
    platform::RemoveEmptyDirectory(folder);
}

bool IsRequestFolder(const std::string& folder) {
    std::string root = ReportWorkDirectory() + "/";
    if (folder.size() <= root.size() || folder.compare(0, root.size(), root) != 0) return false;
    std::string name = folder.substr(root.size());
    if (name.size() != 25 || name[0] != 'r') return false;
    for (char c : name.substr(1)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return platform::GetFileKind(folder) == platform::FileKind::Directory;
}

}  // namespace tessaro::reports
