#include "mailer/netvane_smtp.h"

#include <cctype>
#include <fstream>
#include <iterator>

#include "mailer/mail_text.h"
#include "platform/private_file.h"

namespace {

// A reply longer than this is no SMTP reply: the server is not speaking SMTP.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;

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

std::string Join(const std::vector<std::string>& items, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < items.size(); ++i) {
        if (i > from) out += ',';
        out += items[i];
    }
    return out;
}

}  // namespace

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

bool CNetvaneSMTP::Command(const std::string& line, char expectedClass) {
    if (!line.empty() && !m_socket.Send(line, m_timeoutMs)) return false;
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

bool CNetvaneSMTP::Connect(const std::string& host, int port) {
    m_refusal = 0;
    m_pending.clear();
    if (!m_socket.Connect(host, port, m_timeoutMs)) return false;
    if (!Command("", '2')) return false;
    return Command("HELO " + m_socket.LocalAddress() + "\r\n", '2');
}

bool CNetvaneSMTP::Compose(const SmtpMailRequest& request, std::string& text) {
    text.clear();
    if (request.attachments.empty() || !request.writeHeaders) {
        text = request.text;
        return true;
    }
    std::string head;
    head += "From: " + request.sender + "\r\n";
    if (!request.recipients.empty()) head += "To: " + request.recipients.front() + "\r\n";
    if (request.recipients.size() > 1) head += "CC: " + Join(request.recipients, 1) + "\r\n";
    if (!request.subject.empty()) head += "Subject: " + request.subject + "\r\n";
    head += "X-Attachments: " + Join(request.attachments, 0) + "\r\n";
    head += "MIME-Version: 1.0\r\n";
    head += std::string("Content-Type: multipart/mixed; boundary=\"") + kMimeBoundary + "\"\r\n\r\n";
    head += std::string("--") + kMimeBoundary + "\r\n";
    head += "Content-Type: text/plain; charset=\"us-ascii\"\r\n\r\n";
    text = head + "\r\n" + request.text + "\r\n\r\n";
    for (std::size_t i = 0; i < request.attachments.size(); ++i) {
        const std::string& path = request.attachments[i];
        // Only a plain file, and never through a link in its last component: a FIFO or
        // a device would hold the delivery for ever.
        std::string bytes;
        if (tessaro::platform::ReadRegularFileNoFollow(path, &bytes) != 0) {
            m_socket.SetError(NV_ERROR, "Attachment file '" + path + "' could not be read");
            m_refusal = -1;
            return false;
        }
        std::string name = BaseName(path);
        text += std::string("--") + kMimeBoundary + "\r\n";
        text += ContentTypeLine(name) + " name=\"" + name + "\"\r\n";
        text += "Content-Transfer-Encoding: base64\r\n";
        text += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
        text += Base64Lines(bytes);
        text += "\r\n";
    }
    text += std::string("--") + kMimeBoundary + "--\r\n";
    return true;
}

bool CNetvaneSMTP::Mail(const SmtpMailRequest& request) {
    m_refusal = 0;
    if (request.sender.empty() || request.recipients.empty()) {
        m_socket.SetError(NV_ERROR, "No sender or recipient given");
        m_refusal = -1;
        return false;
    }
    std::string text;
    if (!Compose(request, text)) return false;
    if (!m_socket.IsConnected()) {
        m_socket.SetError(NV_NOTCONNECTED, "Send attempted with closed connection");
        return false;
    }
    if (!Command("mail from:<" + request.sender + ">\r\n", '2')) return false;
    for (const std::string& recipient : request.recipients) {
        if (!Command("rcpt to:<" + recipient + ">\r\n", '2')) return false;
    }
    if (!Command("data\r\n", '3')) return false;
    return Command(DataStream(text), '2');
}

bool CNetvaneSMTP::Quit() {
    if (!m_socket.Send("QUIT\r\n", m_timeoutMs)) return false;
    int code = 0;
    std::string text;
    // The reply or the server's close ends the session; either will do.
    bool replied = ReadReply(code, text);
    bool closedByServer = !replied && m_socket.Error().code == NV_REMOTECLOSE;
    m_socket.Close(false);
    return replied || closedByServer;
}
