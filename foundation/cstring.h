#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iosfwd>

// The reference-counted byte string of the foundation classes. Strings hold arbitrary
// bytes (NULs included), always followed by a NUL. Copies share one representation,
// which is copied only when a holder modifies it.

// The value searches return when they find nothing; also the start of a null substring.
inline constexpr std::size_t RW_NPOS = static_cast<std::size_t>(-1);

class RWCString;
class RWCSubString;
class RWCExtRegex;
class RWCSimpleRegex;

// Representation: {holders - 1, capacity, length, chars + NUL}, allocated as one block.
// The length is the word just before the first character and the capacity the word
// before that. The count is atomic because constants built at start-up are copied by
// every request thread.
class RWCStringRef {
public:
    std::size_t length() const { return nchars_; }
    std::size_t capacity() const { return capacity_; }
    std::uint32_t references() const { return refs_.load(std::memory_order_relaxed); }
    char* data() { return reinterpret_cast<char*>(this + 1); }
    const char* data() const { return reinterpret_cast<const char*>(this + 1); }

    // Position of the first c before the first NUL, or RW_NPOS.
    std::size_t first(char c) const;
    // First position of any character of the NUL-terminated set, before the first NUL.
    std::size_t first(const char* set) const;

private:
    friend class RWCString;
    std::atomic<std::uint32_t> refs_;  // holders - 1
    std::uint32_t capacity_;
    std::uint32_t nchars_;
};
static_assert(sizeof(RWCStringRef) == 12, "the characters must follow the length word");

// Tag for the "empty string with this capacity" constructor.
class RWCapacity {
public:
    explicit RWCapacity(std::size_t n) : n_(n) {}
    std::size_t value() const { return n_; }

private:
    std::size_t n_;
};

class RWCString {
public:
    enum caseCompare { exact = 0, ignoreCase = 1 };
    enum stripType { leading = 1, trailing = 2, both = 3 };

    // Construction and assignment.
    RWCString();
    RWCString(const char* cs);
    RWCString(const char* cs, std::size_t n);
    explicit RWCString(RWCapacity cap);
    explicit RWCString(char c);
    RWCString(char c, std::size_t n);
    RWCString(const RWCSubString& sub);
    RWCString(const RWCString& s);
    RWCString(RWCString&& s) noexcept;
    ~RWCString();

    RWCString& operator=(const RWCString& s);
    RWCString& operator=(RWCString&& s) noexcept;
    RWCString& operator=(const char* cs);

    // An independent copy with capacity = length.
    RWCString copy() const;

    // Editing; every edit first makes the representation this string's own.
    RWCString& replace(std::size_t pos, std::size_t n1, const char* cs, std::size_t n2);
    RWCString& replace(std::size_t pos, std::size_t n1, const char* cs);
    RWCString& replace(std::size_t pos, std::size_t n1, const RWCString& s);

    RWCString& append(const char* cs);
    RWCString& append(const char* cs, std::size_t n);
    RWCString& append(const RWCString& s);
    RWCString& append(char c, std::size_t n = 1);
    RWCString& operator+=(const char* cs) { return append(cs); }
    RWCString& operator+=(const RWCString& s) { return append(s); }
    RWCString& operator+=(char c) { return append(c, 1); }

    RWCString& prepend(const char* cs);
    RWCString& prepend(const char* cs, std::size_t n);
    RWCString& prepend(const RWCString& s);
    RWCString& prepend(char c, std::size_t n = 1);

    RWCString& insert(std::size_t pos, const char* cs);
    RWCString& insert(std::size_t pos, const char* cs, std::size_t n);
    RWCString& insert(std::size_t pos, const RWCString& s);

    RWCString& remove(std::size_t pos);  // to the end
    RWCString& remove(std::size_t pos, std::size_t n);

    void resize(std::size_t n);  // cut, or pad with blanks
    std::size_t capacity() const { return pref()->capacity(); }
    std::size_t capacity(std::size_t n);  // set; returns the capacity

    void toLower();
    void toUpper();

    // Element access: RW_NPOS and indexes at or past the length throw RWBoundsErr.
    char& operator[](std::size_t i);
    char operator[](std::size_t i) const;
    char& operator()(std::size_t i);  // checked as operator[]
    char operator()(std::size_t i) const;

    // Queries.
    std::size_t length() const { return pref()->length(); }
    const char* data() const { return data_; }
    bool isNull() const { return length() == 0; }
    bool isAscii() const;
    int compareTo(const char* cs, caseCompare cmp = exact) const;
    int compareTo(const RWCString& s, caseCompare cmp = exact) const;
    bool contains(const char* pat, caseCompare cmp = exact) const;
    bool contains(const RWCString& pat, caseCompare cmp = exact) const;

    std::size_t index(const char* pat, std::size_t start = 0, caseCompare cmp = exact) const;
    std::size_t index(const char* pat, std::size_t patlen, std::size_t start, caseCompare cmp) const;
    std::size_t index(const RWCString& pat, std::size_t start = 0, caseCompare cmp = exact) const;

    std::size_t first(char c) const;                          // before the first NUL
    std::size_t first(char c, std::size_t n) const;           // among the first min(n, length) bytes
    std::size_t first(const char* set) const;                 // before the first NUL
    std::size_t first(const char* set, std::size_t n) const;  // any of n set bytes, whole length
    std::size_t last(char c) const;                           // before the first NUL
    std::size_t last(char c, std::size_t n) const;            // among the first min(n, length) bytes

    unsigned hash(caseCompare cmp = exact) const;
    static unsigned hash(const RWCString& s) { return s.hash(exact); }

    int collate(const char* cs) const;
    // Characters under the current multibyte rules; RW_NPOS when a sequence is invalid.
    std::size_t mbLength() const;

    // Substrings.
    RWCSubString operator()(std::size_t start, std::size_t len);
    const RWCSubString operator()(std::size_t start, std::size_t len) const;
    RWCSubString subString(const char* pat, std::size_t start = 0, caseCompare cmp = exact);
    const RWCSubString subString(const char* pat, std::size_t start = 0, caseCompare cmp = exact) const;
    RWCSubString strip(stripType where = trailing, char c = ' ');
    const RWCSubString strip(stripType where = trailing, char c = ' ') const;

    // Regular expressions (extended and simple patterns).
    std::size_t index(const RWCExtRegex& re, std::size_t start = 0) const;
    std::size_t index(const RWCExtRegex& re, std::size_t* extent, std::size_t start) const;
    // Compiles the pattern text as an extended expression, then searches.
    std::size_t indexRE(const char* pattern, std::size_t* extent, std::size_t start = 0) const;
    RWCString& replace(const RWCExtRegex& re, const char* repl, int scope);
    RWCString& replace(const RWCExtRegex& re, const RWCString& repl, int scope);
    RWCSubString operator()(const RWCExtRegex& re, std::size_t start = 0);
    const RWCSubString operator()(const RWCExtRegex& re, std::size_t start = 0) const;
    std::size_t index(const RWCSimpleRegex& re, std::size_t start = 0) const;
    std::size_t index(const RWCSimpleRegex& re, std::size_t* extent, std::size_t start) const;
    RWCSubString operator()(const RWCSimpleRegex& re, std::size_t start = 0);
    const RWCSubString operator()(const RWCSimpleRegex& re, std::size_t start = 0) const;

    // Stream input; each returns the stream.
    std::istream& readFile(std::istream& is);
    std::istream& readLine(std::istream& is, bool skipWhite = true);
    std::istream& readString(std::istream& is);
    std::istream& readToken(std::istream& is);

    // Process-wide sizing settings; each setter returns the previous value.
    static std::size_t initialCapacity(std::size_t n);
    static std::size_t resizeIncrement(std::size_t n);
    static std::size_t maxWaste(std::size_t n);
    static std::size_t initialCapacity();
    static std::size_t resizeIncrement();
    static std::size_t maxWaste();
    // 15, 31, 47, ... with the shipped settings.
    static std::size_t capacityFor(std::size_t n);
    // The longest string a representation can hold.
    static constexpr std::size_t maxLength() { return 0xFFFFFFF0u; }

    // Concatenation constructor (a null pointer counts as length 0).
    RWCString(const char* a, std::size_t n1, const char* b, std::size_t n2);

    // True when this string shares the one static empty representation.
    bool sharesEmptyRep() const;

private:
    friend class RWCSubString;

    RWCStringRef* pref() const { return reinterpret_cast<RWCStringRef*>(data_) - 1; }
    static RWCStringRef* newRep(std::size_t capacity, std::size_t length);
    static void release(RWCStringRef* rep);
    static void addRef(RWCStringRef* rep);
    static bool isShared(const RWCStringRef* rep);  // true for the shared empty rep too
    void adopt(RWCStringRef* rep) { data_ = rep->data(); }
    void cow();                          // make own
    void cow(std::size_t room);          // make own with room
    void ownCopy(std::size_t capacity);  // new rep of that capacity, first min(len, cap) chars
    void clobber(std::size_t room);      // clear for writing with room
    void setLength(std::size_t n);       // length := n and NUL at n; n <= capacity
    void trimWaste();                    // after stream reads
    void growForStream();                // next capacity by the buffer-growth rule
    [[noreturn]] static void indexError(std::size_t i, std::size_t len);
    std::istream& readToDelim(std::istream& is, char delim);

    char* data_;
};

// A view of a range of a string, through which the range can be read, compared or
// replaced. Valid while its parent lives and is not resized by another path.
class RWCSubString {
public:
    RWCSubString(const RWCSubString& sp) = default;

    RWCSubString& operator=(const char* cs);
    RWCSubString& operator=(const RWCString& s);
    RWCSubString& operator=(const RWCSubString& sub);

    char& operator[](std::size_t i);
    char operator[](std::size_t i) const;
    char& operator()(std::size_t i);
    char operator()(std::size_t i) const;

    std::size_t length() const { return extent_; }
    std::size_t start() const { return begin_; }
    bool isNull() const { return begin_ == RW_NPOS; }
    // The first byte of the range in the parent (not NUL-terminated at the extent).
    const char* startData() const;

    void toLower();
    void toUpper();

private:
    friend class RWCString;
    friend class RWCStringTokenizer;
    friend bool operator==(const RWCSubString&, const char*);
    friend bool operator==(const RWCSubString&, const RWCString&);
    friend bool operator==(const RWCSubString&, const RWCSubString&);

    RWCSubString(const RWCString& s, std::size_t start, std::size_t len);
    void subStringError(std::size_t len, std::size_t start, std::size_t extent) const;
    void assertElement(std::size_t i) const;
    RWCSubString& assign(const char* cs, std::size_t n);

    RWCString* str_;
    std::size_t begin_;
    std::size_t extent_;
};

// Comparison.
bool operator==(const RWCString& s1, const RWCString& s2);
bool operator==(const RWCString& s1, const char* s2);
inline bool operator==(const char* s1, const RWCString& s2) {
    return s2 == s1;
}
inline bool operator!=(const RWCString& s1, const RWCString& s2) {
    return !(s1 == s2);
}
inline bool operator!=(const RWCString& s1, const char* s2) {
    return !(s1 == s2);
}
inline bool operator!=(const char* s1, const RWCString& s2) {
    return !(s2 == s1);
}
inline bool operator<(const RWCString& s1, const RWCString& s2) {
    return s1.compareTo(s2) < 0;
}
inline bool operator>(const RWCString& s1, const RWCString& s2) {
    return s1.compareTo(s2) > 0;
}
inline bool operator<=(const RWCString& s1, const RWCString& s2) {
    return s1.compareTo(s2) <= 0;
}
inline bool operator>=(const RWCString& s1, const RWCString& s2) {
    return s1.compareTo(s2) >= 0;
}
inline bool operator<(const RWCString& s1, const char* s2) {
    return s1.compareTo(s2) < 0;
}
inline bool operator>(const RWCString& s1, const char* s2) {
    return s1.compareTo(s2) > 0;
}

bool operator==(const RWCSubString& ss, const char* cs);
bool operator==(const RWCSubString& ss, const RWCString& s);
bool operator==(const RWCSubString& s1, const RWCSubString& s2);
inline bool operator==(const char* cs, const RWCSubString& ss) {
    return ss == cs;
}
inline bool operator==(const RWCString& s, const RWCSubString& ss) {
    return ss == s;
}
inline bool operator!=(const RWCSubString& ss, const char* cs) {
    return !(ss == cs);
}
inline bool operator!=(const RWCSubString& ss, const RWCString& s) {
    return !(ss == s);
}
inline bool operator!=(const RWCSubString& s1, const RWCSubString& s2) {
    return !(s1 == s2);
}

// Concatenation.
RWCString operator+(const RWCString& s, const char* cs);
RWCString operator+(const char* cs, const RWCString& s);
RWCString operator+(const RWCString& s1, const RWCString& s2);

// Case-converted copies.
RWCString toLower(const RWCString& s);
RWCString toUpper(const RWCString& s);

// The collation key of the string; empty when the transform does not fit.
RWCString strXForm(const RWCString& s);

// Stream output writes the length bytes (NULs included), padded to the stream's width.
std::ostream& operator<<(std::ostream& os, const RWCString& s);
std::ostream& operator<<(std::ostream& os, const RWCSubString& ss);
std::istream& operator>>(std::istream& is, RWCString& s);  // readToken
