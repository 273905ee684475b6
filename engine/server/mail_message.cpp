#include "engine/server/mail_message.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include "support/file_exception_text.h"
#include "support/file_helpers.h"
#include "support/registry.h"
#include "support/text_helpers.h"
#include "platform/file_system.h"
#include "platform/home.h"
#include "platform/path_util.h"
#include "platform/temp_file.h"
#include "platform/win32_error.h"

namespace {

constexpr const char* kHeaderEnd = "\r\n\r\n";

void AddLine(std::string& out, const char* name, const std::string& value) {
    out += name;
    out += ": ";
    out += OneLineHeaderValue(value);
    out += "\r\n";
}

// Leading blanks, an optional sign, digits up to the first other character; 0 without digits.
int ParseLeadingNumber(const std::string& text) {
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

std::string LastFileErrorText() {
    return GetFileErrorText(CFileException::CauseFromLastError());
}

}  // namespace

std::string OneLineHeaderValue(const std::string& value) {
    std::string out = value;
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

std::string CMailMessage::SpoolText() const {
    std::string out;
    if (!server.empty()) AddLine(out, "Server", server);
    if (port != -1) AddLine(out, "Port", std::to_string(port));
    if (timeout != -1) AddLine(out, "Timeout", std::to_string(timeout));
    AddLine(out, "From", from);
    AddLine(out, "To", to);
    AddLine(out, "Subject", subject);
    if (!cc.empty()) AddLine(out, "CC", cc);
    if (!attachment.empty()) AddLine(out, "Attach", attachment);
    out += extraHeaders;
    // Whatever the extra lines hold, the header part must end in its empty line,
    // or the file could not be read back.
    if (out.size() < 4 || out.compare(out.size() - 4, 4, kHeaderEnd) != 0)
        out += (out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0) ? "\r\n" : kHeaderEnd;
    out += body;
    return out;
}

bool CMailMessage::WriteToSpool(const std::string& directory, std::string& path) {
    path.clear();
    long error = tessaro::platform::MakeTempFileName(directory, "TSM", &path);
    if (error != 0) {
        errorText = GetFileErrorText(CFileException::CauseFromWindowsError(error)) + " (Filename=" + directory + ")";
        return false;
    }
    const std::string text = SpoolText();
    error = tessaro::platform::WriteFileFromStart(path, text.data(), text.size(), false);
    if (error != tessaro::platform::ERROR_SUCCESS) {
        errorText = GetFileErrorText(CFileException::CauseFromWindowsError(error)) + " (Filename=" + path + ")";
        return false;
    }
    return true;
}

bool CMailMessage::ReadFromSpool(const std::string& path) {
    std::ifstream in(tessaro::platform::ToUnixPath(path), std::ios::binary);
    if (!in) {
        errorText = LastFileErrorText();
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        errorText = GetFileErrorText(CFileException::hardIO);
        return false;
    }
    return ParseSpoolText(text);
}

bool CMailMessage::ParseSpoolText(const std::string& text) {
    std::size_t end = text.find(kHeaderEnd);
    if (end == std::string::npos) {
        errorText = "Message file had invalid file format (no <CR><LF><CR><LF> delimiter found).";
        return false;
    }
    // The body is kept exactly as written; the mailer stuffs dots when it sends.
    body = text.substr(end + 4);
    std::string head = text.substr(0, end);
    extraHeaders.clear();
    std::size_t start = 0;
    while (start <= head.size()) {
        std::size_t stop = head.find("\r\n", start);
        if (stop == std::string::npos) stop = head.size();
        std::string line = head.substr(start, stop - start);
        start = stop + 2;
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = TrimmedCopy(line.substr(0, colon));
        std::string value = TrimmedCopy(line.substr(colon + 1));
        std::string key = UpperCopy(name);
        if (key == "SERVER")
            server = value;
        else if (key == "PORT")
            port = ParseLeadingNumber(value);
        else if (key == "TIMEOUT")
            timeout = ParseLeadingNumber(value);
        else if (key == "SUBJECT")
            subject = value;
        else if (key == "FROM")
            from = value;
        else if (key == "TO")
            to = value;
        else if (key == "CC")
            cc = value;
        else if (key == "ATTACH")
            attachment = value;
        else
            extraHeaders += name + ": " + value + "\r\n";
    }
    extraHeaders += "\r\n";
    valid = true;
    return true;
}

bool CreateDefaultMailDirectories(std::string& error) {
    std::string base = tessaro::platform::HomePath("Mail");
    for (const char* sub : {"", "/LOG", "/SPOOL", "/UNDELIVR"}) {
        std::string path = base + sub;
        long code = tessaro::platform::EnsureDirectory(path);
        if (code != 0) {
            error = "Error occurred while attempting to create mail directory '" + path +
                    "' - Windows NT error number " + std::to_string(code) + " occurred.";
            return false;
        }
    }
    try {
        std::unique_ptr<CRegistryKey> root = OpenTessaroRootKey();
        std::unique_ptr<CRegistryKey> mail(root->CreateSubKey("Mail"));
        mail->SetString("BaseDirectory", base + "/");
        mail->SetString("BaseDirectoryRoot", tessaro::platform::TessaroHome());
    } catch (CRegistryException* e) {
        e->Delete();
        error = "Error attempting to allocate memory for mail subkey.";
        return false;
    }
    return true;
}

std::string MailBaseFollowingTheRoot(CRegistrySettings& settings, const std::string& base) {
    const std::string root = tessaro::platform::TessaroHome();
    const std::string named = tessaro::platform::ToUnixPath(base);
    std::string recorded = settings.GetString("Mail", "BaseDirectoryRoot", "");
    std::string inside;  // the part of the folder below its runtime root
    if (!recorded.empty()) {
        while (recorded.size() > 1 && recorded.back() == '/') recorded.pop_back();
        if (recorded == root || named.rfind(recorded + "/", 0) != 0) return base;
        inside = named.substr(recorded.size());
    } else {
        std::string folder = named;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        const std::size_t slash = folder.rfind('/');
        if (slash == std::string::npos || slash == 0 || folder.substr(slash + 1) != "Mail") return base;
        const std::string parent = folder.substr(0, slash);
        // Written by an engine before the root's own name was kept beside it: it follows only
        // when its root has gone (a root that was moved away).
        if (parent == root || PathExists(parent)) return base;
        inside = "/Mail/";
    }
    const std::string moved = root + inside;
    try {
        settings.Set("Mail", "BaseDirectory", moved);
        settings.Set("Mail", "BaseDirectoryRoot", root);
    } catch (CRegistryException* e) {
        e->Delete();
    }
    return moved;
}
