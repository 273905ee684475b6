// A delivered message as Python's email package reads it (check_message.py), for
// tests that must know what a mail reader makes of what the mailer sent.
#pragma once

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace mailtest {

struct ParsedAttachment {
    std::string name;
    std::string encoding;
    std::string bytes;
};

struct ParsedMessage {
    bool ran = false;
    bool dateParses = false;
    std::string messageId;
    std::string subject;
    std::string charset;
    std::string encoding;
    std::string body;
    std::vector<ParsedAttachment> attachments;
    int defects = -1;
    std::string output;  // what the script printed, for failure messages
};

inline std::string FromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

inline ParsedMessage ParseWithPython(const std::string& path) {
    ParsedMessage parsed;
    std::string command = "/usr/bin/python3 '" + std::string(TESSARO_SOURCE_DIR) +
                          "/tests/mailer/check_message.py' '" + path + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return parsed;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) parsed.output.append(buffer, n);
    parsed.ran = ::pclose(pipe) == 0;
    std::istringstream lines(parsed.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "date") {
            int ok = 0;
            words >> ok;
            parsed.dateParses = ok == 1;
        } else if (key == "message-id") {
            std::getline(words >> std::ws, parsed.messageId);
        } else if (key == "subject") {
            std::string hex;
            words >> hex;
            parsed.subject = FromHex(hex);
        } else if (key == "body") {
            std::string hex;
            words >> parsed.charset >> parsed.encoding >> hex;
            parsed.body = FromHex(hex);
        } else if (key == "attachment") {
            std::string name, hex;
            ParsedAttachment a;
            words >> name >> a.encoding >> hex;
            a.name = FromHex(name);
            a.bytes = FromHex(hex);
            parsed.attachments.push_back(a);
        } else if (key == "defects") {
            words >> parsed.defects;
        }
    }
    return parsed;
}

}  // namespace mailtest
