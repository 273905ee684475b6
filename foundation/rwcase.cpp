#include "foundation/rwcase.h"

#include <array>

namespace rwcase {
namespace {

struct Tables {
    std::array<unsigned char, 256> lower{};
    std::array<unsigned char, 256> upper{};

    constexpr Tables() {
        for (int c = 0; c < 256; ++c) {
            lower[c] = static_cast<unsigned char>(c);
            upper[c] = static_cast<unsigned char>(c);
        }
        auto pair = [this](int up, int low) {
            lower[up] = static_cast<unsigned char>(low);
            upper[low] = static_cast<unsigned char>(up);
        };
        for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
        // Latin-1 letters; 0xD7 and 0xF7 are the multiplication and division signs.
        for (int c = 0xC0; c <= 0xDE; ++c)
            if (c != 0xD7) pair(c, c + 32);
        // The Windows-1252 additions in 0x80-0x9F: S/Z caron, OE ligature, Y diaeresis.
        pair(0x8A, 0x9A);
        pair(0x8C, 0x9C);
        pair(0x8E, 0x9E);
        pair(0x9F, 0xFF);
    }
};

constexpr Tables kTables;

}  // namespace

unsigned char toLower(unsigned char c) {
    return kTables.lower[c];
}
unsigned char toUpper(unsigned char c) {
    return kTables.upper[c];
}

}  // namespace rwcase
