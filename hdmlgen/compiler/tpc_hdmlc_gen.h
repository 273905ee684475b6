// The deck writer: turns a parsed deck into the compiled deck format
// (interfaces/hdml_deck_format.h).
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "hdmlgen/compiler/hdml_deck.h"
#include "interfaces/hdml_deck_format.h"

class TpcHDMLCGen {
public:
    explicit TpcHDMLCGen(std::ostream& out) : m_out(out) {}

    // Writes the whole deck; false when the stream failed or a limit is exceeded.
    bool WriteDeck(const hdml::Node& deck);

private:
    std::uint16_t StringIndex(const std::string& text);
    void CollectStrings(const hdml::Node& node);
    void WriteNode(const hdml::Node& node);
    void WriteAttributes(const hdml::Node& node);

    std::ostream& m_out;
    std::map<std::string, std::uint16_t> m_index;
    std::vector<const std::string*> m_strings;
    bool m_tooMany = false;
};
