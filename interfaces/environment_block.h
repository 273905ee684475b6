// Request message 1 on both roads: the CGI environment as one block of "NAME=VALUE"
// entries, each closed by a NUL, and one more NUL at the end. A name holds no '=' and no
// NUL, a value no NUL (as in any process environment).
#pragma once

#include <cstring>
#include <string>
#include <string_view>

namespace tessaro::interfaces {

// Appends "NAME=VALUE" and its NUL. Entries of any length are kept whole.
inline void AppendEnvironmentEntry(std::string& block, std::string_view name, std::string_view value) {
    block.reserve(block.size() + name.size() + value.size() + 2);
    block.append(name);
    block.push_back('=');
    block.append(value);
    block.push_back('\0');
}

// Closes a block after its last entry.
inline void EndEnvironmentBlock(std::string& block) {
    block.push_back('\0');
}

// Calls visit(name, value) for every entry in order, up to the empty entry that ends the
// block. Each entry runs to its own NUL, so a long value never spills into a new variable;
// an entry without '=' is skipped, and a last entry cut off by the end of the block is not
// given.
template <class Visit>
void DecodeEnvironmentBlock(std::string_view block, Visit&& visit) {
    std::size_t pos = 0;
    while (pos < block.size() && block[pos] != '\0') {
        const void* nul = std::memchr(block.data() + pos, '\0', block.size() - pos);
        if (!nul) break;
        const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(nul) - block.data());
        std::string_view entry = block.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t eq = entry.find('=');
        if (eq == std::string_view::npos) continue;
        visit(entry.substr(0, eq), entry.substr(eq + 1));
    }
}

}  // namespace tessaro::interfaces
