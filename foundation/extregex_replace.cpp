#include <cstring>

#include "foundation/extregex.h"
#include "foundation/simpleregex.h"

namespace {

CRWInterfaceException tooManySteps(const RWCExtRegex& re) {
  RWCString msg("The regular expression ");
  msg.append(re.pattern()).append(" needs too many steps to search this text");
  return CRWInterfaceException(msg, CRWInterfaceException::kCode);
}

CRWInterfaceException keepsMatching(const RWCExtRegex& re) {
  RWCString msg("The regular expression ");
  msg.append(re.pattern()).append(" keeps matching the text that replaces it");
  return CRWInterfaceException(msg, CRWInterfaceException::kCode);
}

// Searches, turning an abandoned simple-pattern search into the interface exception.
std::size_t find(const RWCExtRegex& re, const RWCString& text, std::size_t* extent, std::size_t start) {
  try {
    return re.search(text, extent, start);
  } catch (const RWRELimitErr&) {
    throw tooManySteps(re);
  }
}

// Scope 1 resumes each search one character before the end of the replaced text, so a
// run of matches collapses step by step. Three things keep it finite: a replacement
// that changes nothing resumes past the match instead of finding it again; an empty
// match ends the loop (there is nothing left to collapse); and a replacement that
// keeps producing new matches is stopped with an error once the count of
// replacements exceeds what shrinking or advancing could ever need.
RWCString replaceMatches(const RWCString& text, const RWCExtRegex& re, const char* repl, std::size_t r,
                         int scope) {
  RWCString work(text);
  if (!repl) r = 0;
  if (scope == 1) {
    const std::size_t bound = 2 * (text.length() + 1);
    std::size_t count = 0;
    std::size_t from = 0;
    for (;;) {
      std::size_t m = 0;
      const std::size_t p = find(re, work, &m, from);
      if (p == RW_NPOS) break;
      if (m == r && (r == 0 || std::memcmp(work.data() + p, repl, r) == 0)) {
        if (m == 0) break;
        from = p + (m > 1 ? m - 1 : 1);
      } else {
        work.replace(p, m, repl, r);
        if (m == 0) break;
        if (++count > bound) throw keepsMatching(re);
        from = p + m - 1;
      }
      if (from >= work.length()) break;
    }
  } else {
    std::size_t m = 0;
    const std::size_t p = find(re, work, &m, 0);
    if (p != RW_NPOS) work.replace(p, m, repl, r);
  }
  return work;
}

}  // namespace

RWCString& RWCString::replace(const RWCExtRegex& re, const char* repl, int scope) {
  *this = replaceMatches(*this, re, repl, repl ? std::strlen(repl) : 0, scope);
  return *this;
}

RWCString& RWCString::replace(const RWCExtRegex& re, const RWCString& repl, int scope) {
  *this = replaceMatches(*this, re, repl.data(), repl.length(), scope);
  return *this;
}

std::size_t RWCString::index(const RWCExtRegex& re, std::size_t start) const {
  return find(re, *this, nullptr, start);
}

std::size_t RWCString::index(const RWCExtRegex& re, std::size_t* extent, std::size_t start) const {
  return find(re, *this, extent, start);
}

std::size_t RWCString::indexRE(const char* pattern, std::size_t* extent, std::size_t start) const {
  RWCExtRegex re(pattern);
  return find(re, *this, extent, start);
}

RWCSubString RWCString::operator()(const RWCExtRegex& re, std::size_t start) {
  std::size_t len = 0;
  const std::size_t at = find(re, *this, &len, start);
  return at == RW_NPOS ? RWCSubString(*this, RW_NPOS, 0) : RWCSubString(*this, at, len);
}

const RWCSubString RWCString::operator()(const RWCExtRegex& re, std::size_t start) const {
  return const_cast<RWCString*>(this)->operator()(re, start);
}

RWCString regexReplace(const RWCString& text, const RWCString& pattern, const RWCString& replacement, int scope) {
  RWCExtRegex re(pattern);
  re.checkCompile();
  return replaceMatches(text, re, replacement.data(), replacement.length(), scope);
}

RWCString regexReplaceAll(const RWCString& text, const RWCString& pattern, const RWCString& replacement) {
  RWCExtRegex re(pattern);
  re.checkCompile();
  RWCString result(text);
  const std::size_t r = replacement.length();
  std::size_t from = 0;
  while (from <= result.length()) {
    std::size_t m = 0;
    const std::size_t p = find(re, result, &m, from);
    if (p == RW_NPOS) break;
    result.replace(p, m, replacement.data(), r);
    // Past the inserted text; after an empty match, one character further, so that
    // the same empty match is not found again.
    from = p + r + (m == 0 ? 1 : 0);
  }
  return result;
}

std::size_t regexFind(const RWCString& pattern, const RWCString& text, std::size_t start) {
  RWCExtRegex re(pattern);
  re.checkCompile();
  if (start > text.length()) return RW_NPOS;
  return find(re, text, nullptr, start);
}
