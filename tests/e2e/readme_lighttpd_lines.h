#pragma once
// The README's lighttpd lines and install command as they stand there, for the tests that run
// them as written.

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/file_text.h"

namespace e2e {

inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The lines to append to lighttpd's configuration.
inline std::string ReadmeLighttpdLines() {
    std::istringstream readme(tessaro::test::ReadSourceText("README.md"));
    std::string lines;
    bool in = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("    server.modules += (\"mod_access\"", 0) == 0) in = true;
        if (in) lines += line.substr(4) + "\n";
        if (in && line.rfind("    setenv.add-environment", 0) == 0) break;
    }
    return lines;
}

// The arguments of the one install command (after scripts/install).
inline std::vector<std::string> ReadmeInstallArguments() {
    std::istringstream readme(tessaro::test::ReadSourceText("README.md"));
    const std::string command = "    scripts/install ";
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind(command, 0) != 0) continue;
        std::istringstream words(line.substr(command.size()));
        std::vector<std::string> arguments;
        for (std::string word; words >> word;) arguments.push_back(word);
        return arguments;
    }
    return {};
}

// Debian's stock lighttpd.conf (its text) with the settings named in `adjusted` set to the values
// given there (a test's port, document root, logs), the change of user left out unless keepUser;
// `seen` gets the names that were found and set, each followed by a blank.
inline std::string AdjustedLighttpdConfig(const std::string& stockText, const std::map<std::string, std::string>& adjusted,
                                          bool keepUser, std::string* seen) {
    std::istringstream stock(stockText);
    std::string config;
    for (std::string line; std::getline(stock, line);) {
        const std::string name = line.substr(0, line.find_first_of(" \t="));
        if (!keepUser && (name == "server.username" || name == "server.groupname")) continue;
        auto it = adjusted.find(name);
        if (it != adjusted.end() && line.find('=') != std::string::npos) {
            config += name + " = " + it->second + "\n";
            *seen += name + " ";
            continue;
        }
        config += line + "\n";
    }
    return config;
}

}  // namespace e2e
