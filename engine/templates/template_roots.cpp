#include "engine/templates/template_roots.h"

#include <filesystem>
#include <system_error>

#include "platform/path_util.h"
#include "support/runtime_file_gate.h"

namespace fs = std::filesystem;

namespace {

fs::path RealPath(const std::string& path) {
    std::error_code ec;
    fs::path real = fs::weakly_canonical(fs::path(tessaro::platform::ToUnixPath(path)), ec);
    return ec ? fs::path() : real;
}

bool IsBelow(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty()) continue;  // a trailing separator
        if (p == path.end() || *p != *f) return false;
    }
    return p != path.end();
}

}  // namespace

bool IsInsideTemplateRoots(const std::string& path, const std::vector<std::string>& roots) {
    fs::path target = RealPath(tessaro::platform::ResolvePathNoCase(path));
    if (target.empty()) return false;
    for (const std::string& root : roots) {
        if (root.empty()) continue;
        fs::path folder = RealPath(tessaro::platform::ResolvePathNoCase(root));
        if (!folder.empty() && IsBelow(target, folder)) return true;
    }
    return false;
}

tessaro::platform::OpenedObjectCheck InsideTemplateRootsCheck(const std::vector<std::string>& roots,
                                                              const CRuntimeFileGate& files) {
    std::vector<tessaro::platform::FileIdentity> folders;
    for (const std::string& root : roots) {
        tessaro::platform::FileIdentity identity;
        if (!root.empty() && tessaro::platform::PathIdentity(tessaro::platform::ResolvePathNoCase(root), &identity))
            folders.push_back(identity);
    }
    return [folders, &files](const tessaro::platform::OpenedObject& opened) {
        if (!files.Check()(opened)) return false;
        // A folder is judged by where it lies too: itself or a folder above it is a root.
        for (const tessaro::platform::FileIdentity& holder : opened.folders)
            for (const tessaro::platform::FileIdentity& root : folders)
                if (holder == root) return true;
        if (!opened.isDirectory) return false;
        for (const tessaro::platform::FileIdentity& root : folders)
            if (opened.identity == root) return true;
        return false;
    };
}
