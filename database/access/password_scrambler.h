// The at-rest form of stored data-source passwords: the bytes combined with a repeated
// constant key and written as upper-case hex. Obfuscation, not encryption.
#pragma once

#include <string>

class PasswordScrambler {
public:
    PasswordScrambler();

    std::string Scramble(const std::string& plain) const;
    // An odd last digit is ignored; a pair that is not hex gives the byte of its valid
    // leading digits (0 when there are none).
    std::string Unscramble(const std::string& scrambled) const;

    // The key repeated to exactly length characters.
    std::string KeyStream(std::size_t length) const;
    // Byte i of text xor byte i of the key stream; NUL bytes are kept.
    std::string XorWithKey(const std::string& text) const;
    static std::string ToHex(const std::string& bytes);
    static std::string FromHex(const std::string& hex);

private:
    std::string m_key;
};
