#include "mailer/mail_text.h"

#include <algorithm>

namespace {

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Length of the UTF-8 sequence that starts at text[i], 0 when none starts there.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    if (n == 2 && c < 0xC2) return 0;  // overlong
    return n;
}

}  // namespace

std::string DataStreamWriter::Feed(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 8);
    for (char c : text) {
        if (m_afterCR) {
            m_afterCR = false;
            if (c == '\n') continue;  // the LF of a CR LF already written
        }
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            m_afterCR = c == '\r';
            m_lineStart = true;
            continue;
        }
        if (m_lineStart && c == '.') out += '.';
        out += c;
        m_lineStart = false;
    }
    return out;
}

std::string DataStreamWriter::Finish() {
    std::string out = m_lineStart ? "" : "\r\n";
    out += ".\r\n";
    m_lineStart = true;
    m_afterCR = false;
    return out;
}

std::string DataStream(const std::string& text) {
    DataStreamWriter writer;
    std::string out = writer.Feed(text);
    return out + writer.Finish();
}

std::string Base64Plain(const std::string& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += kBase64Alphabet[v & 63];
    }
    std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += rest == 2 ? kBase64Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string Base64Lines(const std::string& bytes) {
    std::string plain = Base64Plain(bytes);
    std::string out;
    out.reserve(plain.size() + plain.size() / 36 + 2);
    for (std::size_t at = 0; at < plain.size(); at += 72) out += plain.substr(at, 72) + "\r\n";
    return out;
}

std::string UuencodeLines(const std::string& bytes) {
    auto put = [](std::string& out, unsigned value) {
        value &= 63;
        out += value == 0 ? '`' : static_cast<char>(value + 32);
    };
    std::string out;
    for (std::size_t at = 0; at < bytes.size(); at += kUuencodeLineBytes) {
        std::size_t n = std::min(kUuencodeLineBytes, bytes.size() - at);
        put(out, static_cast<unsigned>(n));
        for (std::size_t i = 0; i < n; i += 3) {
            unsigned char b0 = static_cast<unsigned char>(bytes[at + i]);
            unsigned char b1 = i + 1 < n ? static_cast<unsigned char>(bytes[at + i + 1]) : 0;
            unsigned char b2 = i + 2 < n ? static_cast<unsigned char>(bytes[at + i + 2]) : 0;
            put(out, b0 >> 2);
            put(out, (b0 << 4) | (b1 >> 4));
            put(out, (b1 << 2) | (b2 >> 6));
            put(out, b2);
        }
        out += "\r\n";
    }
    return out;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

bool IsSevenBit(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = Utf8SequenceLength(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string EncodeHeaderText(const std::string& text) {
    if (IsSevenBit(text)) return text;
    const bool utf8 = IsUtf8(text);
    const std::string prefix = utf8 ? "=?utf-8?B?" : "=?iso-8859-1?B?";
    // 45 bytes make 60 Base64 characters: with the prefix and "?=" a word stays within 75.
    const std::size_t most = 45;
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = at;
        while (end < text.size()) {
            std::size_t n = utf8 ? Utf8SequenceLength(text, end) : 1;
            if (end + n - at > most) break;
            end += n;
        }
        if (!out.empty()) out += "\r\n ";
        out += prefix + Base64Plain(text.substr(at, end - at)) + "?=";
        at = end;
    }
    return out;
}

std::string QuotedPrintable(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    std::string line;
    auto flushLine = [&](bool hardBreak) {
        // A blank or tab at the end of a line would be lost in transport.
        if (hardBreak && !line.empty() && (line.back() == ' ' || line.back() == '\t')) {
            char last = line.back();
            line.pop_back();
            line += '=';
            line += kHex[(static_cast<unsigned char>(last) >> 4) & 15];
            line += kHex[static_cast<unsigned char>(last) & 15];
        }
        out += line;
        out += hardBreak ? "\r\n" : "=\r\n";
        line.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            flushLine(true);
            continue;
        }
        unsigned char u = static_cast<unsigned char>(c);
        std::string piece;
        if ((u >= 33 && u <= 126 && u != '=') || u == ' ' || u == '\t') {
            piece = std::string(1, c);
        } else {
            piece = {'=', kHex[u >> 4], kHex[u & 15]};
        }
        // A dot alone at a line start is safe here: the DATA stream stuffs it.
        if (line.size() + piece.size() > 75) flushLine(false);
        line += piece;
    }
    if (!line.empty()) out += line;
    return out;
}

BodyEncoding EncodeBody(const std::string& text, bool eightBitAllowed) {
    if (IsSevenBit(text)) return {"us-ascii", "7bit", text};
    std::string charset = IsUtf8(text) ? "utf-8" : "iso-8859-1";
    bool shortLines = true;
    std::size_t length = 0;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            length = 0;
        } else if (++length > 998) {
            shortLines = false;
            break;
        }
    }
    if (eightBitAllowed && shortLines) return {charset, "8bit", text};
    return {charset, "quoted-printable", QuotedPrintable(text)};
}
