// The function reference (docs/functions.md) and the guide's list of functions
// (docs/templates.md) against the registry: every registered function has its entry with
// an example that calls it, and every entry names a registered function, so neither text
// can fall behind the functions the engine knows. The examples themselves run through the
// engine in tests/e2e/docs_examples_e2e_test.cpp.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/expressions/function_registry.h"
#include "tests/common/file_text.h"

namespace {

using tessaro::test::SourceLines;

std::set<std::string> RegisteredNames() {
    std::size_t count = 0;
    const FunctionTableRow* rows = BuiltinFunctionTable(count);
    std::set<std::string> names;
    for (std::size_t i = 0; i < count; ++i) names.insert(rows[i].name);
    return names;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// One entry of the reference: a third-level heading in a section of functions, and the
// templates of the examples below it.
struct Entry {
    std::size_t line = 0;
    std::vector<std::string> examples;
    int expects = 0;
};

// The sections that tell how to call functions and hold the tables, not functions.
bool IsSectionOfFunctions(const std::string& title) {
    return title != "Contents" && title != "Calling functions" && title != "Tables";
}

std::map<std::string, Entry> ReferenceEntries(const std::vector<std::string>& lines, std::string& contents) {
    std::map<std::string, Entry> entries;
    bool functions = false;
    bool inContents = false;
    Entry* current = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.rfind("## ", 0) == 0) {
            functions = IsSectionOfFunctions(line.substr(3));
            inContents = line == "## Contents";
            current = nullptr;
            continue;
        }
        if (inContents) contents += line + "\n";
        if (line.rfind("### ", 0) == 0) {
            current = nullptr;
            if (!functions) continue;
            const std::string name = line.substr(4);
            EXPECT_EQ(entries.count(name), 0u) << "docs/functions.md:" << i + 1 << ": a second entry for " << name;
            current = &entries[name];
            current->line = i + 1;
            continue;
        }
        if (current == nullptr) continue;
        if (line.rfind("<!-- example: ", 0) == 0) {
            std::string text;
            std::size_t j = i + 1;
            while (j < lines.size() && lines[j].rfind("```", 0) != 0) ++j;
            for (++j; j < lines.size() && lines[j].rfind("```", 0) != 0; ++j) text += lines[j] + "\n";
            current->examples.push_back(text);
        } else if (line.rfind("<!-- expect -->", 0) == 0) {
            ++current->expects;
        }
    }
    return entries;
}

TEST(FunctionReference, EveryRegisteredFunctionHasAnEntryAndNoOtherOne) {
    const std::set<std::string> registered = RegisteredNames();
    ASSERT_FALSE(registered.empty());
    std::string contents;
    const std::map<std::string, Entry> entries = ReferenceEntries(SourceLines("docs/functions.md"), contents);
    for (const std::string& name : registered)
        EXPECT_EQ(entries.count(name), 1u) << name << " is registered but has no entry in docs/functions.md";
    for (const auto& [name, entry] : entries) {
        const std::string where = "docs/functions.md:" + std::to_string(entry.line) + " " + name;
        EXPECT_EQ(registered.count(name), 1u) << where << " names no registered function";
        // One example, with the page it gives, that calls the function it stands under.
        ASSERT_EQ(entry.examples.size(), 1u) << where;
        EXPECT_EQ(entry.expects, 1) << where;
        EXPECT_NE(Lower(entry.examples[0]).find(Lower(name) + "("), std::string::npos)
            << where << ": the example does not call " << name;
        EXPECT_NE(contents.find("[" + name + "](#" + Lower(name) + ")"), std::string::npos)
            << where << " is missing from the contents";
    }
}

// The guide's families name every registered function, and only those.
TEST(FunctionReference, GuideListsEveryRegisteredFunction) {
    const std::vector<std::string> lines = SourceLines("docs/templates.md");
    std::set<std::string> listed;
    bool inSection = false;
    for (const std::string& line : lines) {
        if (line.rfind("## ", 0) == 0) inSection = line == "## Built-in functions";
        if (!inSection) continue;
        if (line.rfind("<!-- example", 0) == 0) break;
        for (std::size_t open = line.find('`'); open != std::string::npos; open = line.find('`', open + 1)) {
            const std::size_t close = line.find('`', open + 1);
            if (close == std::string::npos) break;
            const std::string word = line.substr(open + 1, close - open - 1);
            bool name = !word.empty() && std::isupper(static_cast<unsigned char>(word[0]));
            for (char c : word) name = name && std::isalnum(static_cast<unsigned char>(c));
            if (name) listed.insert(word);
            open = close;
        }
    }
    const std::set<std::string> registered = RegisteredNames();
    for (const std::string& name : registered)
        EXPECT_EQ(listed.count(name), 1u) << name << " is missing from the list of docs/templates.md";
    for (const std::string& name : listed)
        EXPECT_EQ(registered.count(name), 1u) << "docs/templates.md lists " << name << ", which is no function";
}

}  // namespace
