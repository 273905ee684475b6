#include "platform/path_util.h"
#include "platform/system_calls.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "platform/folder_listing_cache.h"
#include "platform/program_path.h"

namespace tessaro::platform {

std::string ToUnixPath(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return SystemCalls().lstat(path.c_str(), &st) == 0;
}

// As FindPathNoCase; lookFirst: the path as written is looked at before any listing.
PathOnDisk FindPath(std::string path, bool lookFirst) {
    if (path.empty() || (lookFirst && Exists(path))) return {path, false};
    // A folder that exists as written names the same folder whatever the case of the rest:
    // only its entry for the last name is looked up (a walk from the root would take each
    // folder of the way as written too).
    const std::size_t last = path.find_last_of('/');
    if (last != std::string::npos && last + 1 < path.size()) {
        const std::string name = path.substr(last + 1);
        const std::string folder = last == 0 ? std::string("/") : path.substr(0, last);
        if (name != "." && name != "..") {
            const FolderLookup found = LookUpInFolder(folder, name);
            if (found.listed) {
                if (found.exact) return {path, false};
                if (found.match.empty()) return {path, true};
                return {JoinPath(folder, found.match), false};
            }
        }
    }

    std::string resolved;
    std::size_t pos = 0;
    if (path[0] == '/') {
        resolved = "/";
        pos = 1;
    }
    bool missing = false;  // once a component is missing, the rest cannot be found
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string::npos) slash = path.size();
        std::string component = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (component.empty()) continue;
        std::string folder = resolved;
        std::string candidate =
            resolved.empty() || resolved.back() == '/' ? resolved + component : resolved + "/" + component;
        if (!missing && component != "." && component != "..") {
            // The folder's listing answers both whether the name exists as given and,
            // if not, which entry it names; a folder that cannot be listed is asked directly.
            FolderLookup found = LookUpInFolder(folder, component);
            if (!found.listed) {
                missing = !Exists(candidate);
            } else if (!found.exact) {
                if (found.match.empty()) {
                    missing = true;
                } else {
                    candidate =
                        folder.empty() || folder.back() == '/' ? folder + found.match : folder + "/" + found.match;
                }
            }
        }
        resolved = candidate;
    }
    if (!path.empty() && path.back() == '/' && !resolved.empty() && resolved.back() != '/') resolved += '/';
    return {resolved, missing};
}

}  // namespace

std::string ResolvePathNoCase(std::string_view input) {
    return FindPathNoCase(input).path;
}

PathOnDisk FindPathNoCase(std::string_view input) {
    return FindPath(ToUnixPath(input), true);
}

PathOnDisk FindRarePathNoCase(std::string_view input) {
    return FindPath(ToUnixPath(input), false);
}

std::string JoinPath(std::string_view directory, std::string_view name) {
    std::string out(directory);
    if (out.empty()) return std::string(name);
    while (!name.empty() && (name.front() == '/' || name.front() == '\\')) name.remove_prefix(1);
    if (out.back() != '/' && out.back() != '\\') out += '/';
    out += name;
    return out;
}

std::string ProgramName() {
    std::string exe = ProgramPath();
    std::size_t slash = exe.find_last_of('/');
    std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
    std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name.empty() ? std::string("tessaro") : name;
}

}  // namespace tessaro::platform
