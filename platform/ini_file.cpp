#include "platform/ini_file.h"
#include "platform/system_calls.h"
#include "platform/win32_error.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/path_util.h"
#include "platform/shared_file.h"

namespace tessaro::platform {

namespace {

// A profile line ends at LF: blanks, tabs and a CR around its parts are not part of them.
std::string Trim(std::string_view text) {
    return std::string(TrimAscii(text, " \t\r"));
}

// An open, locked profile file. Lines are kept without their '\n'.
class LockedFile {
public:
    LockedFile(const std::string& file, bool write, bool create = false) {
        path_ = ResolvePathNoCase(file);
        fd_ = OpenShared(path_, write ? O_RDWR | (create ? O_CREAT : 0) : O_RDONLY);
        if (fd_ < 0) return;
        while (SystemCalls().flock(fd_, write ? LOCK_EX : LOCK_SH) != 0) {
            if (errno != EINTR) {
                SystemCalls().close(fd_);
                fd_ = -1;
                return;
            }
        }
        std::string content;
        char buffer[8192];
        for (;;) {
            ssize_t n = SystemCalls().read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                content.append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                break;
            }
        }
        std::size_t pos = 0;
        // A byte-order mark written by Windows editors is kept but never read as text.
        if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            bom_ = true;
            pos = 3;
        }
        while (pos < content.size()) {
            std::size_t nl = content.find('\n', pos);
            if (nl == std::string::npos) nl = content.size();
            lines_.push_back(content.substr(pos, nl - pos));
            pos = nl + 1;
        }
    }
    ~LockedFile() {
        if (fd_ >= 0) SystemCalls().close(fd_);  // closing releases the lock
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    std::vector<std::string>& lines() { return lines_; }

    bool Save() {
        std::string content = bom_ ? "\xEF\xBB\xBF" : "";
        for (const std::string& line : lines_) content += line + "\n";
        if (SystemCalls().ftruncate(fd_, 0) != 0) return false;
        return WriteAllAt(fd_, content.data(), content.size(), 0) == ERROR_SUCCESS;
    }

private:
    std::string path_;
    int fd_ = -1;
    std::vector<std::string> lines_;
    bool bom_ = false;
};

// "[Name]" -> Name; false for other lines.
bool SectionHeader(const std::string& line, std::string* name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    std::size_t close = t.find(']');
    if (close == std::string::npos) return false;
    *name = Trim(std::string_view(t).substr(1, close - 1));
    return true;
}

// "Key=Value" -> Key, Value; false for comments, blanks and other lines.
bool KeyLine(const std::string& line, std::string* key, std::string* value) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#' || t[0] == '[') return false;
    std::size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    *key = Trim(std::string_view(t).substr(0, eq));
    *value = Trim(std::string_view(t).substr(eq + 1));
    if (value->size() >= 2 && (value->front() == '"' || value->front() == '\'') && value->back() == value->front()) {
        *value = value->substr(1, value->size() - 2);
    }
    return true;
}

// The range [begin, end) of a section's body lines; begin = header line index.
bool FindSection(const std::vector<std::string>& lines, const std::string& section, std::size_t* header,
                 std::size_t* end) {
    std::string name;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (SectionHeader(lines[i], &name) && EqualsNoCase(name, Trim(section))) {
            std::size_t j = i + 1;
            while (j < lines.size() && !SectionHeader(lines[j], &name)) ++j;
            *header = i;
            *end = j;
            return true;
        }
    }
    return false;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::string IniGetString(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& defaultValue, std::size_t bufferSize) {
    std::string result = defaultValue;
    LockedFile f(file, false);
    if (f.ok()) {
        std::size_t header, end;
        if (FindSection(f.lines(), section, &header, &end)) {
            std::string k, v;
            for (std::size_t i = header + 1; i < end; ++i) {
                if (KeyLine(f.lines()[i], &k, &v) && EqualsNoCase(k, Trim(key))) {
                    result = v;
                    break;
                }
            }
        }
    }
    if (bufferSize == 0) return std::string();
    if (result.size() > bufferSize - 1) result.resize(bufferSize - 1);
    return result;
}

long IniGetInt(const std::string& file, const std::string& section, const std::string& key, long defaultValue) {
    static const std::string kMissing = "\x01missing";
    std::string text = IniGetString(file, section, key, kMissing);
    if (text == kMissing) return defaultValue;
    errno = 0;
    long value = std::strtol(text.c_str(), nullptr, 10);
    return errno == ERANGE ? defaultValue : value;
}

bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) || key.find('=') != std::string::npos ||
        section.find(']') != std::string::npos || Trim(key).empty()) {
        return false;
    }
    LockedFile f(file, true, true);
    if (!f.ok()) return false;
    std::vector<std::string>& lines = f.lines();
    std::string entry = Trim(key) + "=" + value;
    std::size_t header, end;
    if (!FindSection(lines, section, &header, &end)) {
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
        lines.push_back("[" + Trim(section) + "]");
        lines.push_back(entry);
        return f.Save();
    }
    std::string k, v;
    for (std::size_t i = header + 1; i < end; ++i) {
        if (KeyLine(lines[i], &k, &v) && EqualsNoCase(k, Trim(key))) {
            lines[i] = entry;
            return f.Save();
        }
    }
    // After the section's last non-blank line.
    std::size_t at = end;
    while (at > header + 1 && Trim(lines[at - 1]).empty()) --at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
    return f.Save();
}

bool IniDeleteKey(const std::string& file, const std::string& section, const std::string& key) {
    LockedFile f(file, true);
    if (!f.ok()) return errno == ENOENT;
    std::vector<std::string>& lines = f.lines();
    std::size_t header, end;
    if (!FindSection(lines, section, &header, &end)) return true;
    std::string k, v;
    for (std::size_t i = header + 1; i < end; ++i) {
        if (KeyLine(lines[i], &k, &v) && EqualsNoCase(k, Trim(key))) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
            return f.Save();
        }
    }
    return true;
}

bool IniDeleteSection(const std::string& file, const std::string& section) {
    LockedFile f(file, true);
    if (!f.ok()) return errno == ENOENT;
    std::vector<std::string>& lines = f.lines();
    std::size_t header, end;
    bool changed = false;
    while (FindSection(lines, section, &header, &end)) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header),
                    lines.begin() + static_cast<std::ptrdiff_t>(end));
        changed = true;
    }
    return changed ? f.Save() : true;
}

std::vector<std::pair<std::string, std::string>> IniSectionEntries(const std::string& file,
                                                                   const std::string& section) {
    std::vector<std::pair<std::string, std::string>> entries;
    LockedFile f(file, false);
    if (!f.ok()) return entries;
    std::size_t header, end;
    if (!FindSection(f.lines(), section, &header, &end)) return entries;
    std::string k, v;
    for (std::size_t i = header + 1; i < end; ++i) {
        if (KeyLine(f.lines()[i], &k, &v)) entries.emplace_back(k, v);
    }
    return entries;
}

bool IniReplaceSection(const std::string& file, const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& entries) {
    if (HasLineBreak(section) || section.find(']') != std::string::npos) return false;
    for (const auto& [key, value] : entries) {
        if (HasLineBreak(key) || HasLineBreak(value) || key.find('=') != std::string::npos || Trim(key).empty())
            return false;
    }
    LockedFile f(file, true, !entries.empty());
    if (!f.ok()) return entries.empty() && errno == ENOENT;
    std::vector<std::string>& lines = f.lines();
    std::size_t header, end;
    std::size_t at = lines.size();
    bool found = false;
    while (FindSection(lines, section, &header, &end)) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header), lines.begin() + static_cast<std::ptrdiff_t>(end));
        if (!found) at = header;
        found = true;
    }
    if (!entries.empty()) {
        std::vector<std::string> block;
        if (at == lines.size() && !lines.empty() && !Trim(lines.back()).empty()) block.emplace_back();
        block.push_back("[" + Trim(section) + "]");
        for (const auto& [key, value] : entries) block.push_back(Trim(key) + "=" + value);
        if (at < lines.size()) block.emplace_back();
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), block.begin(), block.end());
    } else if (!found) {
        return true;
    }
    return f.Save();
}

std::vector<std::string> IniSectionNames(const std::string& file) {
    std::vector<std::string> names;
    LockedFile f(file, false);
    if (!f.ok()) return names;
    std::string name;
    for (const std::string& line : f.lines()) {
        if (SectionHeader(line, &name)) names.push_back(name);
    }
    return names;
}

std::vector<std::string> IniKeyNames(const std::string& file, const std::string& section) {
    std::vector<std::string> names;
    LockedFile f(file, false);
    if (!f.ok()) return names;
    std::size_t header, end;
    if (!FindSection(f.lines(), section, &header, &end)) return names;
    std::string k, v;
    for (std::size_t i = header + 1; i < end; ++i) {
        if (KeyLine(f.lines()[i], &k, &v)) names.push_back(k);
    }
    return names;
}

}  // namespace tessaro::platform
