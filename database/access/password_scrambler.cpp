#include "database/access/password_scrambler.h"

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

PasswordScrambler::PasswordScrambler() : m_key("7E2C94B1") {}

std::string PasswordScrambler::KeyStream(std::size_t length) const {
    std::string stream;
    stream.reserve(length);
    while (stream.size() < length) stream += m_key;
    stream.resize(length);
    return stream;
}

std::string PasswordScrambler::XorWithKey(const std::string& text) const {
    std::string key = KeyStream(text.size());
    std::string result(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        result[i] = static_cast<char>(static_cast<unsigned char>(text[i]) ^ static_cast<unsigned char>(key[i]));
    return result;
}

std::string PasswordScrambler::ToHex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0x0F];
    }
    return hex;
}

std::string PasswordScrambler::FromHex(const std::string& hex) {
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        // Like reading "%X": leading valid digits count, the first invalid one stops.
        int value = 0;
        int high = HexDigitValue(hex[i]);
        if (high >= 0) {
            value = high;
            int low = HexDigitValue(hex[i + 1]);
            if (low >= 0) value = value * 16 + low;
        }
        bytes += static_cast<char>(value);
    }
    return bytes;
}

std::string PasswordScrambler::Scramble(const std::string& plain) const {
    return ToHex(XorWithKey(plain));
}

std::string PasswordScrambler::Unscramble(const std::string& scrambled) const {
    return XorWithKey(FromHex(scrambled));
}
