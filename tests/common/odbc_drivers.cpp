#include "tests/common/odbc_drivers.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace tessaro::test {

namespace fs = std::filesystem;

namespace {

// The multiarch folder of this process's own C library ("x86_64-linux-gnu", ...), or "" when
// the system has no multiarch layout; a driver of another architecture would not load.
std::string OwnMultiarch() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&std::fopen), &info) == 0 || info.dli_fname == nullptr) return "";
    std::string folder = fs::path(info.dli_fname).parent_path().filename().string();
    return folder.find("-linux-") != std::string::npos ? folder : "";
}

std::vector<fs::path> LibraryFolders() {
    std::vector<fs::path> folders;
    const std::string multiarch = OwnMultiarch();
    for (const char* prefix : {"/usr/lib", "/usr/local/lib", "/lib"}) {
        if (!multiarch.empty()) {
            folders.push_back(fs::path(prefix) / multiarch / "odbc");
            folders.push_back(fs::path(prefix) / multiarch);
        }
    }
    for (const char* folder : {"/usr/lib64/odbc", "/usr/lib64", "/usr/lib/odbc", "/usr/lib", "/usr/local/lib64",
                               "/usr/local/lib/odbc", "/usr/local/lib"})
        folders.emplace_back(folder);
    return folders;
}

}  // namespace

std::string FindOdbcDriver(const std::string& fileName) {
    std::error_code ec;
    for (const fs::path& folder : LibraryFolders()) {
        const fs::path candidate = folder / fileName;
        if (fs::is_regular_file(candidate, ec)) return candidate.string();
    }
    return "";
}

const std::string& SQLiteOdbcDriverPath() {
    static const std::string path = FindOdbcDriver("libsqlite3odbc.so");
    return path;
}

const std::string& PostgresOdbcDriverPath() {
    static const std::string path = FindOdbcDriver("psqlodbcw.so");
    return path;
}

}  // namespace tessaro::test
