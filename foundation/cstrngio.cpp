#include <istream>
#include <ostream>
#include <string>

#include "foundation/cstring.h"
#include "foundation/rwcase.h"
#include "foundation/toolmisc.h"

void RWCString::growForStream() {
    ownCopy(rwNewCapacity(capacity(), 1));
}

void RWCString::trimWaste() {
    const std::size_t len = length();
    if (capacity() - len > maxWaste()) {
        std::size_t snug = capacityFor(len);
        if (snug != capacity()) ownCopy(snug);
    }
}

std::istream& RWCString::readFile(std::istream& is) {
    clobber(initialCapacity());
    for (;;) {
        const std::size_t len = length();
        is.read(data_ + len, static_cast<std::streamsize>(capacity() - len));
        setLength(len + static_cast<std::size_t>(is.gcount()));
        if (!is.good()) break;
        growForStream();
    }
    trimWaste();
    return is;
}

// Reads up to delim, which is consumed and not stored. At end of stream the text read
// so far is the result.
std::istream& RWCString::readToDelim(std::istream& is, char delim) {
    clobber(initialCapacity());
    std::streambuf* sb = is.rdbuf();
    std::istream::sentry ok(is, true);
    if (!ok || !sb) return is;
    bool any = false;
    for (;;) {
        int c = sb->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            is.setstate(any ? std::ios::eofbit : (std::ios::eofbit | std::ios::failbit));
            break;
        }
        any = true;
        if (static_cast<char>(c) == delim) break;
        const std::size_t len = length();
        if (len == capacity()) growForStream();
        data_[len] = static_cast<char>(c);
        setLength(len + 1);
    }
    trimWaste();
    return is;
}

std::istream& RWCString::readLine(std::istream& is, bool skipWhite) {
    if (skipWhite) is >> std::ws;
    return readToDelim(is, '\n');
}

std::istream& RWCString::readString(std::istream& is) {
    return readToDelim(is, '\0');
}

std::istream& RWCString::readToken(std::istream& is) {
    clobber(initialCapacity());
    std::istream::sentry ok(is);  // skips white space
    std::streamsize width = is.width();
    is.width(0);
    if (!ok) return is;
    std::streambuf* sb = is.rdbuf();
    for (;;) {
        if (width > 0 && static_cast<std::streamsize>(length()) >= width) break;
        int c = sb->sgetc();
        if (c == std::char_traits<char>::eof()) {
            is.setstate(length() ? std::ios::eofbit : (std::ios::eofbit | std::ios::failbit));
            break;
        }
        if (rwcase::isSpace(static_cast<unsigned char>(c))) break;
        sb->sbumpc();
        const std::size_t len = length();
        if (len == capacity()) ownCopy(capacity() + resizeIncrement());
        data_[len] = static_cast<char>(c);
        setLength(len + 1);
    }
    trimWaste();
    return is;
}

std::istream& operator>>(std::istream& is, RWCString& s) {
    return s.readToken(is);
}

namespace {

std::ostream& writePadded(std::ostream& os, const char* data, std::size_t n) {
    std::ostream::sentry ok(os);
    if (ok) {
        const std::streamsize width = os.width();
        const std::size_t pad =
            width > 0 && static_cast<std::size_t>(width) > n ? static_cast<std::size_t>(width) - n : 0;
        const bool left = (os.flags() & std::ios::adjustfield) == std::ios::left;
        const char fill = os.fill();
        if (!left)
            for (std::size_t i = 0; i < pad; ++i) os.put(fill);
        os.write(data, static_cast<std::streamsize>(n));
        if (left)
            for (std::size_t i = 0; i < pad; ++i) os.put(fill);
        os.width(0);
    }
    return os;
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const RWCString& s) {
    return writePadded(os, s.data(), s.length());
}

std::ostream& operator<<(std::ostream& os, const RWCSubString& ss) {
    return writePadded(os, ss.startData(), ss.length());
}
