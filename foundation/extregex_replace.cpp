#include <algorithm>
#include <cstring>
#include <string>

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

// Searches, turning an abandoned search into the interface exception.
std::size_t find(const RWCExtRegex& re, const RWCString& text, std::size_t* extent, std::size_t start) {
    try {
        return re.search(text, extent, start);
    } catch (const RWRELimitErr&) {
        throw tooManySteps(re);
    }
}

// A loop of searches may do a few times the work of one pass over the text, which is
// all that leftmost matches found one after the other need; a pattern whose every search
// runs far past its short match would otherwise take time quadratic in the text.
std::size_t loopBudget(const RWCExtRegex& re, std::size_t length) {
    // A simple pattern takes about one step per pattern character at each offset.
    const std::size_t perPass = (std::max(re.stateCount(), re.pattern().length()) + 1) * 4;
    const std::size_t passes = length < RW_NPOS / perPass ? (length + 1) * perPass : RW_NPOS;
    return std::max(RWCSimpleRegex::stepLimit(), passes);
}

// Scope 1 resumes each search one character before the end of the replaced text, so a
// run of matches collapses step by step. Three things keep it finite: a replacement
// that changes nothing resumes past the match instead of finding it again; an empty
// match ends the loop (there is nothing left to collapse); and a replacement that
// keeps producing new matches is stopped with an error once the count of
// replacements exceeds what shrinking or advancing could ever need.
//
// A search never looks behind its start, so all in front of the resume point is final
// and goes to the result at once. The text still to search is the end of `work` from
// `head`: a replacement only writes the bytes of it that are searched again just in
// front of the untouched text behind the match, instead of moving that text along at
// every match.
RWCString replaceRepeatedly(const RWCString& text, const RWCExtRegex& re, const char* repl, std::size_t r,
                            std::size_t maxLength) {
    RWCString work(text);
    std::string done;
    std::size_t head = 0;
    const std::size_t bound = 2 * (text.length() + 1);
    std::size_t count = 0;
    for (;;) {
        std::size_t m = 0;
        const std::size_t p = find(re, work, &m, head);
        if (p == RW_NPOS) break;
        const std::size_t length = work.length();
        done.append(work.data() + head, p - head);
        if (m == r && (r == 0 || std::memcmp(work.data() + p, repl, r) == 0)) {
            if (m == 0) {
                head = p;
                break;
            }
            const std::size_t step = m > 1 ? m - 1 : 1;
            done.append(work.data() + p, step);
            head = p + step;
        } else {
            if (m == 0) {
                done.append(repl, r);
                head = p;
                break;
            }
            if (++count > bound) throw keepsMatching(re);
            const std::size_t behind = p + m;
            if (m - 1 >= r) {
                // The replacement and what follows it up to the resume point are final.
                const std::size_t more = std::min(m - 1 - r, length - behind);
                done.append(repl, r);
                done.append(work.data() + behind, more);
                head = behind + more;
            } else {
                done.append(repl, m - 1);
                const char* again = repl + (m - 1);
                const std::size_t n = r - (m - 1);
                if (n > behind) {
                    // No room in front: make as much again as the rest, so that growing stays
                    // linear overall.
                    const std::size_t room = n + (length - behind);
                    std::string front(room, '\0');
                    front.append(again, n);
                    work.replace(0, behind, front.data(), front.size());
                    head = room;
                } else {
                    head = behind - n;
                    for (std::size_t i = 0; i < n; ++i) work[head + i] = again[i];
                }
            }
        }
        if (done.size() + (work.length() - head) > maxLength) throw RWRegexResultTooLong();
        if (head >= work.length()) break;
    }
    done.append(work.data() + head, work.length() - head);
    return RWCString(done.data(), done.size());
}

RWCString replaceMatches(const RWCString& text, const RWCExtRegex& re, const char* repl, std::size_t r, int scope,
                         std::size_t maxLength = RW_NPOS) {
    if (!repl) {
        repl = "";
        r = 0;
    }
    RWRegexStepScope budget(loopBudget(re, text.length()));
    if (scope == 1) return replaceRepeatedly(text, re, repl, r, maxLength);
    RWCString work(text);
    std::size_t m = 0;
    const std::size_t p = find(re, work, &m, 0);
    if (p != RW_NPOS && r > m && (r > maxLength || work.length() - m > maxLength - r)) throw RWRegexResultTooLong();
    if (p != RW_NPOS) work.replace(p, m, repl, r);
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

RWCString regexReplace(const RWCString& text, const RWCString& pattern, const RWCString& replacement, int scope,
                       std::size_t maxLength) {
    RWCExtRegex re(pattern);
    re.checkCompile();
    return replaceMatches(text, re, replacement.data(), replacement.length(), scope, maxLength);
}

RWCString regexReplaceAll(const RWCString& text, const RWCString& pattern, const RWCString& replacement,
                          std::size_t maxLength) {
    RWCExtRegex re(pattern);
    re.checkCompile();
    RWRegexStepScope budget(loopBudget(re, text.length()));
    // A search never looks behind its start, so the original text can be searched and the
    // result assembled once: replacing in place would move the tail at every match.
    std::string result;
    std::size_t copied = 0;
    std::size_t from = 0;
    while (from <= text.length()) {
        std::size_t m = 0;
        const std::size_t p = find(re, text, &m, from);
        if (p == RW_NPOS) break;
        result.append(text.data() + copied, p - copied);
        result.append(replacement.data(), replacement.length());
        copied = p + m;
        if (result.size() + (text.length() - copied) > maxLength) throw RWRegexResultTooLong();
        // After an empty match, one character further, so that the same empty match is not
        // found again.
        from = p + m + (m == 0 ? 1 : 0);
    }
    if (copied == 0 && result.empty()) return text;
    result.append(text.data() + copied, text.length() - copied);
    return RWCString(result.data(), result.size());
}

std::size_t regexFind(const RWCString& pattern, const RWCString& text, std::size_t start) {
    RWCExtRegex re(pattern);
    re.checkCompile();
    if (start > text.length()) return RW_NPOS;
    return find(re, text, nullptr, start);
}
