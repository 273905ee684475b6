#include "mailer/netvane_smtp.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>

#include "mailer/mail_text.h"
#include "platform/clock.h"
#include "platform/file_ops.h"
#include "platform/runtime_private_files.h"
#include "platform/process_ids.h"
#include "platform/random_bytes.h"
#include "platform/ascii_text.h"

namespace {

// A reply longer than this is no SMTP reply: the server is not speaking SMTP.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;
// Attachment bytes per piece of the message text: whole Base64 and uuencode lines.
constexpr std::size_t kBase64Piece = kBase64LineBytes * 19;
constexpr std::size_t kUuencodePiece = kUuencodeLineBytes * 23;
constexpr std::size_t kTextPiece = 1024;

std::string BaseName(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (char& c : name) {
        if (c == '"' || c == '\r' || c == '\n') c = '_';
    }
    return name;
}

std::string ContentTypeLine(const std::string& name) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {".gif", "image/gif"}, {".jpg", "image/jpeg"}, {".mpg", "video/mpeg"},      {".mov", "video/mov"},
        {".wav", "audio/wav"}, {".au", "audio/basic"}, {".exe", "application/exe"},
    };
    for (const auto& [extension, type] : kTypes) {
        if (name.find(extension) != std::string::npos) return std::string("Content-Type: ") + type + ";";
    }
    return "Content-Type: application/octet-stream;";
}

// The attachments by file name only: the server's folders are no business of the recipients.
std::string AttachmentNames(const std::vector<std::string>& paths) {
    std::string out;
    for (const std::string& path : paths) out += (out.empty() ? "" : ",") + BaseName(path);
    return out;
}

std::string Join(const std::vector<std::string>& items, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < items.size(); ++i) {
        if (i > from) out += ',';
        out += items[i];
    }
    return out;
}

char AttachmentType(const SmtpMailRequest& request, std::size_t i) {
    if (i >= request.types.size() || request.types[i].empty()) return 'M';
    char type = tessaro::platform::AsciiUpper(request.types[i][0]);
    return type == 'U' || type == ' ' ? type : 'M';
}

}  // namespace

std::string SmtpDateValue() {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    struct tm local {};
    tessaro::platform::ToLocalTime(now, local);
    long offset = local.tm_gmtoff / 60;
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0) offset = -offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday % 7],
                  local.tm_mday, kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, sign, offset / 60, offset % 60);
    return text;
}

std::string SmtpMessageId(const std::string& sender) {
    std::string domain;
    std::size_t at = sender.rfind('@');
    if (at != std::string::npos) {
        for (char c : sender.substr(at + 1)) {
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') domain += c;
        }
    }
    if (domain.empty()) domain = "localhost";
    unsigned char random[8] = {};
    if (!tessaro::platform::FillRandomBytes(random, sizeof random)) {
        // Without the random source the id still differs from every other one: the
        // clock's nanoseconds, this process and this thread.
        const std::uint64_t mixed =
            static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
            (static_cast<std::uint64_t>(tessaro::platform::CurrentProcessId()) << 40) ^
            (static_cast<std::uint64_t>(std::hash<std::thread::id>()(std::this_thread::get_id())) << 20);
        std::memcpy(random, &mixed, sizeof random);
    }
    char text[80];
    std::snprintf(text, sizeof text, "%llx.%02x%02x%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned long long>(std::time(nullptr)), random[0], random[1], random[2], random[3],
                  random[4], random[5], random[6], random[7]);
    return "<" + std::string(text) + "@" + domain + ">";
}

bool CNetvaneSMTP::ReadReply(int& code, std::string& text) {
    text.clear();
    for (;;) {
        std::size_t end;
        while ((end = m_pending.find('\n')) != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!text.empty()) text += ' ';
            text += line;
            // A line whose fourth character is '-' is continued; the last line decides.
            if (line.size() >= 4 && line[3] == '-') continue;
            if (line.size() < 3 || line[0] < '1' || line[0] > '5' ||
                !std::isdigit(static_cast<unsigned char>(line[1])) ||
                !std::isdigit(static_cast<unsigned char>(line[2]))) {
                m_socket.SetError(NV_PROTOCOL, "Invalid reply from SMTP server: " + line);
                return false;
            }
            code = std::stoi(line.substr(0, 3));
            return true;
        }
        if (m_pending.size() + text.size() > kMaxReplyBytes) {
            m_socket.SetError(NV_PROTOCOL, "Reply from SMTP server too long");
            m_socket.Close(true);
            return false;
        }
        if (!m_socket.Receive(m_pending, m_timeoutMs)) return false;
    }
}

bool CNetvaneSMTP::Command(const std::string& line, char expectedClass, const std::string& word) {
    if (!line.empty()) {
        if (!m_socket.Send(line, m_timeoutMs)) return false;
        if (m_listener && !word.empty()) m_listener->OnCommandSent(word);
    }
    int code = 0;
    std::string text;
    if (!ReadReply(code, text)) return false;
    if (code >= 400) m_refusal = code;
    if (text[0] != expectedClass) {
        m_socket.SetError(NV_ERROR, text);
        return false;
    }
    return true;
}

bool CNetvaneSMTP::Connect(const std::string& host, int port, int options, const std::string& traceFolder) {
    m_refusal = 0;
    // A connection already open is refused, and what it has received is kept.
    if (!m_socket.Connect(host, port, m_timeoutMs, options, traceFolder)) return false;
    m_8bitMime = false;
    m_pending.clear();
    if (!Command("", '2', "")) return false;
    // EHLO tells whether the server takes 8-bit text; a server that does not know it
    // gets HELO.
    const std::string address = m_socket.LocalAddress();
    if (!m_socket.Send("EHLO " + address + "\r\n", m_timeoutMs)) return false;
    int code = 0;
    std::string text;
    if (!ReadReply(code, text)) return false;
    if (code >= 200 && code < 300) {
        std::string upper = tessaro::platform::UpperAscii(text);
        m_8bitMime = upper.find("250-8BITMIME") != std::string::npos || upper.find("250 8BITMIME") != std::string::npos;
        return true;
    }
    if (code < 500) {
        m_refusal = code;
        m_socket.SetError(NV_ERROR, text);
        return false;
    }
    return Command("HELO " + address + "\r\n", '2', "");
}

bool CNetvaneSMTP::ComposePieces(const SmtpMailRequest& request, std::vector<Piece>& pieces,
                                 std::size_t& attachmentBytes) {
    pieces.clear();
    attachmentBytes = 0;
    std::string head;
    if (request.writeDate) {
        head += "Date: " + SmtpDateValue() + "\r\n";
        head += "Message-ID: " + SmtpMessageId(request.sender) + "\r\n";
    }
    if (request.writeHeaders) {
        head += "From: " + request.sender + "\r\n";
        if (!request.recipients.empty()) head += "To: " + request.recipients.front() + "\r\n";
        if (request.recipients.size() > 1) head += "CC: " + Join(request.recipients, 1) + "\r\n";
    }
    if (!request.subject.empty()) head += "Subject: " + EncodeHeaderText(request.subject) + "\r\n";
    if (head.empty()) {
        // No header line of the client's: the text carries any header block, and the
        // attachments follow it with their part headers.
        pieces.push_back({request.attachments.empty() ? request.text : request.text + "\r\n\r\n"});
    } else {
        BodyEncoding body = EncodeBody(request.text, m_8bitMime);
        std::string transfer =
            body.transfer == "7bit" ? std::string() : "Content-Transfer-Encoding: " + body.transfer + "\r\n";
        if (request.attachments.empty()) {
            if (!transfer.empty())
                head += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=\"" + body.charset + "\"\r\n" + transfer;
            pieces.push_back({head + "\r\n" + body.text});
            return true;
        }
        head += "X-Attachments: " + AttachmentNames(request.attachments) + "\r\n";
        head += "MIME-Version: 1.0\r\n";
        head += std::string("Content-Type: multipart/mixed; boundary=\"") + kMimeBoundary + "\"\r\n\r\n";
        head += std::string("--") + kMimeBoundary + "\r\n";
        head += "Content-Type: text/plain; charset=\"" + body.charset + "\"\r\n" + transfer + "\r\n";
        pieces.push_back({head + "\r\n" + body.text + "\r\n\r\n"});
    }
    if (request.attachments.empty()) return true;
    for (std::size_t i = 0; i < request.attachments.size(); ++i) {
        const std::string& path = request.attachments[i];
        // Only a plain file, and never through a link in its last component: a FIFO or
        // a device would hold the delivery for ever. It is opened once and judged by what
        // was opened, as the engine judged it when the message was spooled: a folder of the
        // path swapped for a link since changes nothing.
        std::string bytes;
        if (tessaro::platform::ReadCheckedFile(path, bytes.max_size(), tessaro::platform::NotPrivateCheck(), &bytes) !=
            0) {
            m_socket.SetError(NV_ERROR, "Attachment file '" + path + "' could not be read");
            m_refusal = -1;
            return false;
        }
        const char type = AttachmentType(request, i);
        const std::string name = BaseName(path);
        std::string part = std::string("--") + kMimeBoundary + "\r\n";
        std::string encoded;  // for text attachments: the text in its transfer encoding
        if (type == ' ') {
            BodyEncoding file = EncodeBody(bytes, m_8bitMime);
            part += "Content-Type: text/plain; charset=\"" + file.charset + "\"; name=\"" + name + "\"\r\n";
            if (file.transfer != "7bit") part += "Content-Transfer-Encoding: " + file.transfer + "\r\n";
            encoded = std::move(file.text);
        } else {
            part += ContentTypeLine(name) + " name=\"" + name + "\"\r\n";
            part += type == 'U' ? "Content-Transfer-Encoding: x-uuencode\r\n" : "Content-Transfer-Encoding: base64\r\n";
        }
        part += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
        if (type == 'U') part += "begin 600 " + name + "\r\n";
        Piece header{part, static_cast<int>(i), 0, true};
        pieces.push_back(header);
        attachmentBytes += bytes.size();
        if (type == ' ') {
            // Progress counts the file's bytes; the encoded text is cut in pieces of its own.
            std::size_t given = 0;
            for (std::size_t at = 0; at < encoded.size(); at += kTextPiece) {
                std::size_t n = std::min(kTextPiece, encoded.size() - at);
                std::size_t source = at + n >= encoded.size() ? bytes.size() - given : n * bytes.size() / encoded.size();
                given += source;
                pieces.push_back({encoded.substr(at, n), static_cast<int>(i), source});
            }
            pieces.push_back({"\r\n", static_cast<int>(i), 0});
        } else {
            std::size_t step = type == 'U' ? kUuencodePiece : kBase64Piece;
            for (std::size_t at = 0; at < bytes.size(); at += step) {
                std::string chunk = bytes.substr(at, step);
                pieces.push_back(
                    {type == 'U' ? UuencodeLines(chunk) : Base64Lines(chunk), static_cast<int>(i), chunk.size()});
            }
            pieces.push_back({type == 'U' ? std::string(kUuencodeEnd) + "\r\n" : std::string("\r\n"),
                              static_cast<int>(i), 0});
        }
    }
    pieces.push_back({std::string("--") + kMimeBoundary + "--\r\n"});
    return true;
}

bool CNetvaneSMTP::Compose(const SmtpMailRequest& request, std::string& text) {
    std::vector<Piece> pieces;
    std::size_t bytes = 0;
    text.clear();
    if (!ComposePieces(request, pieces, bytes)) return false;
    for (const Piece& piece : pieces) text += piece.text;
    return true;
}

bool CNetvaneSMTP::SendText(const std::vector<Piece>& pieces, std::size_t attachmentBytes,
                            const SmtpMailRequest& request) {
    DataStreamWriter writer;
    std::size_t sent = 0;
    int last = -1;
    for (const Piece& piece : pieces) {
        if (!m_socket.Send(writer.Feed(piece.text), m_timeoutMs)) return false;
        if (!m_listener || piece.attachment < 0) continue;
        if (piece.startsAttachment) {
            m_listener->OnProgress("", 0);
            continue;
        }
        last = piece.attachment;
        if (piece.source == 0) continue;
        sent += piece.source;
        int percent = attachmentBytes == 0 ? 0 : static_cast<int>(std::min<std::size_t>(99, sent * 100 / attachmentBytes));
        m_listener->OnProgress(request.attachments[static_cast<std::size_t>(piece.attachment)], percent);
    }
    if (m_listener && last >= 0) m_listener->OnProgress(request.attachments[static_cast<std::size_t>(last)], 100);
    return Command(writer.Finish(), '2', "");
}

bool CNetvaneSMTP::Mail(const SmtpMailRequest& request) {
    m_refusal = 0;
    m_mailRefused = true;
    if (request.sender.empty() || request.recipients.empty()) {
        m_socket.SetError(NV_ERROR, "No sender or recipient given");
        m_refusal = -1;
        return false;
    }
    std::vector<Piece> pieces;
    std::size_t attachmentBytes = 0;
    if (!ComposePieces(request, pieces, attachmentBytes)) return false;
    m_mailRefused = false;
    if (!m_socket.IsConnected()) {
        m_socket.SetError(NV_NOTCONNECTED, "Send attempted with closed connection");
        return false;
    }
    bool eightBit = false;
    for (const Piece& piece : pieces) eightBit = eightBit || !IsSevenBit(piece.text);
    static const char* const kOpeners[] = {"mail", "send", "soml", "saml"};
    const std::string opener = kOpeners[request.opener >= kSmtpMail && request.opener <= kSmtpSaml ? request.opener : 0];
    std::string line = opener + " from:<" + request.sender + ">";
    if (eightBit && m_8bitMime) line += " BODY=8BITMIME";
    if (!Command(line + "\r\n", '2', tessaro::platform::UpperAscii(opener))) return false;
    for (const std::string& recipient : request.recipients) {
        if (!Command("rcpt to:<" + recipient + ">\r\n", '2', "RCPT")) return false;
    }
    if (!Command("data\r\n", '3', "DATA")) return false;
    return SendText(pieces, attachmentBytes, request);
}

bool CNetvaneSMTP::Quit(bool immediate) {
    if (immediate) {
        // Nothing more is said: the connection is dropped where it stands.
        m_socket.Close(true);
        return true;
    }
    if (!m_socket.Send("QUIT\r\n", m_timeoutMs)) return false;
    if (m_listener) m_listener->OnCommandSent("QUIT");
    int code = 0;
    std::string text;
    // The reply or the server's close ends the session; either will do.
    bool replied = ReadReply(code, text);
    bool closedByServer = !replied && m_socket.Error().code == NV_REMOTECLOSE;
    m_socket.Close(false);
    return replied || closedByServer;
}
