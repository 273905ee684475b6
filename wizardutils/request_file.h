// The request file the wizards and tsutils share: an INI file of requests and answers.
// Nothing is cached; every call goes to the file, since two programs take turns on it.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tessaro::wizardutils {

// Parameter names are matched exactly, so a section is read into a case-sensitive map.
using RequestSection = std::map<std::string, std::string>;
// Answers keep the order the catalogue gave them (the wizards list columns that way).
using AnswerList = std::vector<std::pair<std::string, std::string>>;

inline constexpr const char* kRequestsSection = "Requests";
inline constexpr const char* kMessagesSection = "Messages";
inline constexpr const char* kResponsesSection = "Responses";
inline constexpr const char* kResultsSuffix = "_Results";
inline constexpr const char* kRequestFileName = "VESK.INI";

class CRequestFile {
public:
    explicit CRequestFile(std::string path) : m_path(std::move(path)) {}

    const std::string& Path() const { return m_path; }

    // The section's keys (at most 16000 characters of names, NULs included) and values
    // (at most 254 characters each), in file order.
    AnswerList ReadSectionInOrder(const std::string& section) const;
    RequestSection ReadSection(const std::string& section) const;
    std::string ReadValue(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    bool WriteValue(const std::string& section, const std::string& key, const std::string& value) const;

private:
    std::string m_path;
};

}  // namespace tessaro::wizardutils
