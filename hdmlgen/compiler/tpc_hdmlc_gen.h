// The deck writer: turns a parsed deck into the compiled deck format.
//
// Compiled deck (all numbers big-endian):
//   magic      4 bytes 0x89 'H' 'D' 'C'
//   version    2 bytes: major 1, minor 0
//   strings    u16 count, then per string: u16 length and its bytes
//   tokens     0x01 START element(u8) n(u8) n x {attribute(u8) string(u16)}
//              0x02 EMPTY element(u8) n(u8) n x {attribute(u8) string(u16)}
//              0x03 TEXT  string(u16)
//              0x04 END   (closes the innermost START)
//              0x00 end of deck
// Element and attribute codes are those of hdml_markup.h.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "hdmlgen/compiler/hdml_deck.h"

namespace hdml {

inline constexpr char kDeckMagic[] = "\x89HDC";
inline constexpr std::uint8_t kDeckMajorVersion = 1;
inline constexpr std::uint8_t kDeckMinorVersion = 0;

enum Token : std::uint8_t { kEndOfDeck = 0, kStart = 1, kEmpty = 2, kText = 3, kEnd = 4 };

// The format's limits, which the parser checks.
inline constexpr std::size_t kMaxStrings = 65535;
inline constexpr std::size_t kMaxStringLength = 65535;

}  // namespace hdml

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
