#include "engine/parser/ss_token.h"

SSToken::SSToken(std::uint32_t token, const char* bytes, std::size_t length, long line, long offset, int narrow)
    : token_(token),
      text_(bytes == nullptr ? std::string() : std::string(bytes, length)),
      length_(bytes == nullptr ? 0 : length),
      line_(line),
      offset_(offset),
      narrow_(narrow) {
    // c_str() gives one zero byte; a second makes the 16-bit terminator.
    text_.push_back('\0');
}
