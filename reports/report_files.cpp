#include "reports/report_files.h"

#include <cstdio>
#include <map>

#include "platform/file_system.h"
#include "platform/win32_error.h"
#include "platform/home.h"
#include "platform/private_file.h"
#include "platform/random_bytes.h"
#include "support/trace_log.h"

namespace tessaro::reports {

namespace {

// Makes a folder of the hand-off private; a failure goes to the REPORTS log.
long MakePrivateFolder(const std::string& dir) {
    long code = platform::EnsurePrivateDirectory(dir);
    if (code != 0)
        WriteTraceLog("REPORTS", "Error",
                      "Windows NT error number " + std::to_string(code) +
                          " occurred while attempting to create the temporary directory " + dir + ".");
    return code;
}

}  // namespace

std::string ReportWorkDirectory(long* error) {
    std::string dir = platform::HomePath("tmp/tsr");
    long code = MakePrivateFolder(dir);
    if (error) *error = code;
    return dir;
}

namespace {

// A fresh name of `bytes` random bytes in hex after prefix; empty when no random bytes came.
std::string RandomName(const char* prefix, std::size_t bytes) {
    unsigned char random[16];
    if (bytes > sizeof random || !platform::FillRandomBytes(random, bytes)) return {};
    std::string name = prefix;
    for (std::size_t i = 0; i < bytes; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", random[i]);
        name += hex;
    }
    return name;
}

// A name the page may link to a file of the request folder by: one plain component.
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name.find_first_of("/\\") == std::string::npos && name.find("..") == std::string::npos;
}

}  // namespace

std::string CreateRequestFolder(long* error) {
    long code = 0;
    std::string root = ReportWorkDirectory(&code);
    if (code != 0) {
        *error = code;
        return {};
    }
    std::string name = RandomName("r", 12);
    if (name.empty()) {
        *error = 5;
        return {};
    }
    std::string folder = root + "/" + name;
    // The name is new: a folder already there (nobody else can write the work folder)
    // would mean a clash, which is refused rather than shared.
    if (platform::GetFileKind(folder) != platform::FileKind::Missing) {
        *error = 183;
        return {};
    }
    *error = MakePrivateFolder(folder);
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

std::string GraphicFolder(long* error) {
    std::string dir = platform::HomePath("tsr");
    long code = platform::EnsurePrivateDirectory(dir);
    if (error) *error = code;
    return dir;
}

bool PublishReportPictures(const std::string& folder, std::string* error) {
    const std::string page = folder + "/" + kOutputFile;
    std::string html;
    if (platform::ReadRegularFileNoFollow(page, &html) != 0) return true;  // no page, no pictures
    std::map<std::string, std::string> moved;  // name in the page -> name in the graphic folder
    std::string out;
    std::size_t pos = 0;
    for (;;) {
        std::size_t src = html.find("SRC=\"", pos);
        if (src == std::string::npos) break;
        std::size_t start = src + 5;
        std::size_t end = html.find('"', start);
        if (end == std::string::npos) break;
        std::string name = html.substr(start, end - start);
        out.append(html, pos, start - pos);
        pos = end;
        auto known = moved.find(name);
        if (known == moved.end() && IsPlainFileName(name) &&
            platform::GetFileKind(folder + "/" + name) == platform::FileKind::Regular) {
            long code = 0;
            std::string graphics = GraphicFolder(&code);
            std::string fresh = RandomName("p", 12);
            std::string bytes;
            if (code != 0 || fresh.empty() || platform::ReadRegularFileNoFollow(folder + "/" + name, &bytes) != 0) {
                *error = "The report's picture " + name + " could not be read.";
                return false;
            }
            fresh += "_" + name;
            const std::string target = graphics + "/" + fresh;
            // Created new and private: GetGraphic serves only what this user alone could write.
            if (platform::CreateNewFile(target, 0600) != platform::ERROR_SUCCESS ||
                platform::WriteFileFromStart(target, bytes.data(), bytes.size(), false) != platform::ERROR_SUCCESS) {
                platform::RemoveFile(target);
                *error = "The report's picture " + name + " could not be written to " + graphics + ".";
                return false;
            }
            platform::RemoveFile(folder + "/" + name);
            known = moved.emplace(name, fresh).first;
        }
        out += known != moved.end() ? known->second : name;
    }
    if (moved.empty()) return true;
    out.append(html, pos, std::string::npos);
    if (platform::WriteFileFromStart(page, out.data(), out.size(), false) != platform::ERROR_SUCCESS) {
        *error = "The report's page could not be rewritten after its pictures were moved.";
        return false;
    }
    return true;
}

}  // namespace tessaro::reports
