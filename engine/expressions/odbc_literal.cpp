#include "engine/expressions/odbc_literal.h"

#include "engine/expressions/ascii_text.h"
#include "foundation/rwcase.h"

namespace {
bool IsBlank(char c) { return rwcase::isSpace(static_cast<unsigned char>(c)); }
char Lower(char c) { return AsciiLower(c); }
bool IsLiteralChar(char c) { return (c >= '0' && c <= '9') || c == ' ' || c == ':' || c == '.' || c == '-'; }
}  // namespace

bool IsWholeOdbcDateLiteral(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto skipBlanks = [&] {
    while (i < n && IsBlank(text[i])) ++i;
  };
  skipBlanks();
  if (i == n || text[i] != '{') return false;
  ++i;
  skipBlanks();
  if (i == n || (Lower(text[i]) != 'd' && Lower(text[i]) != 't')) return false;
  const bool time = Lower(text[i]) == 't';
  ++i;
  if (time && i < n && Lower(text[i]) == 's') ++i;
  if (i == n || !IsBlank(text[i])) return false;
  skipBlanks();
  if (i == n || text[i] != '\'') return false;
  ++i;
  while (i < n && IsLiteralChar(text[i])) ++i;
  if (i == n || text[i] != '\'') return false;
  ++i;
  skipBlanks();
  if (i == n || text[i] != '}') return false;
  ++i;
  skipBlanks();
  return i == n;
}
