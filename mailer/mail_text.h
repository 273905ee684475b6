// Text transformations of outgoing mail: the DATA stream's line ends and dots,
// Base64 and uuencode for attachments, and the encodings that carry text that is
// not 7-bit (header encoded words, quoted-printable bodies).
#pragma once

#include <cstddef>
#include <string>

// The message text as it goes after DATA: every line end CR LF (bare CR and bare
// LF included), every line that begins with "." gets one more (RFC 5321 4.5.2),
// the text ends in CR LF, and the closing "." line follows.
std::string DataStream(const std::string& text);

// The same, for a text sent in pieces: each piece is fed as it comes, and Finish
// closes the stream. A line end or a line start split between pieces is kept.
class DataStreamWriter {
public:
    std::string Feed(const std::string& text);
    std::string Finish();

private:
    bool m_lineStart = true;
    bool m_afterCR = false;
};

// Base64 (the MIME alphabet) in lines of 72 characters, each ending in CR LF.
std::string Base64Lines(const std::string& bytes);
// Base64 on one line, without a line end.
std::string Base64Plain(const std::string& bytes);
// Source bytes that make whole 72-character Base64 lines: pieces of a multiple of it
// encode to the same lines as the whole.
inline constexpr std::size_t kBase64LineBytes = 54;

// uuencoded lines of 45 source bytes (a length character, then four characters per
// three bytes, a grave accent for every blank), each ending in CR LF. Without the
// "begin" and "end" lines.
std::string UuencodeLines(const std::string& bytes);
inline constexpr std::size_t kUuencodeLineBytes = 45;
// The closing lines of a uuencoded file: the empty line and "end".
inline constexpr const char* kUuencodeEnd = "`\r\nend\r\n";

// True when the text holds a CR or LF (a header value that would add lines).
bool HasLineBreak(const std::string& text);
// True when every byte is below 0x80.
bool IsSevenBit(const std::string& text);
// True when the bytes are well-formed UTF-8.
bool IsUtf8(const std::string& text);

// A header value as it may go out: 7-bit text as it stands, anything else as RFC 2047
// encoded words (=?utf-8?B?...?=, or iso-8859-1 for bytes that are not UTF-8), each
// at most 75 characters, folded onto continuation lines, characters never split.
std::string EncodeHeaderText(const std::string& text);

// How a body text travels: its charset and transfer encoding, and the text in that
// encoding. 7-bit text goes as us-ascii/7bit; other text is utf-8 (iso-8859-1 when
// it is not UTF-8) and goes as 8bit when the server takes 8BITMIME and no line is
// longer than 998 bytes, else quoted-printable.
struct BodyEncoding {
    std::string charset;
    std::string transfer;
    std::string text;
};
BodyEncoding EncodeBody(const std::string& text, bool eightBitAllowed);

// Quoted-printable (RFC 2045 6.7) with CR LF line ends and soft breaks before 76
// characters; line ends of the text (CR LF, LF or CR) stay line ends.
std::string QuotedPrintable(const std::string& text);
