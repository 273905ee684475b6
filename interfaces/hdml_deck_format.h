// The HDML compiler's output, the compiled deck, as libtshdmlc writes it and every reader
// (hdmlcdump, the handsets the engine serves it to as application/x-hdmlc) takes it.
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
// Element and attribute codes are those of hdmlgen/compiler/hdml_markup.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hdml {

inline constexpr char kDeckMagic[] = "\x89HDC";
inline constexpr std::uint8_t kDeckMajorVersion = 1;
inline constexpr std::uint8_t kDeckMinorVersion = 0;

enum Token : std::uint8_t { kEndOfDeck = 0, kStart = 1, kEmpty = 2, kText = 3, kEnd = 4 };

// The format's limits, which the parser checks.
inline constexpr std::size_t kMaxStrings = 65535;
inline constexpr std::size_t kMaxStringLength = 65535;

}  // namespace hdml
