#include "reports/report_request.h"

#include <cerrno>
#include <cstdint>

#include "platform/file_system.h"
#include "platform/win32_error.h"
#include "platform/ini_file.h"
#include "platform/private_file.h"
#include "reports/report_files.h"
#include "support/file_exception_text.h"
#include "support/trace_log.h"

namespace tessaro::reports {

namespace {

constexpr const char* kSection = "ReportStatus";

// File failures are described by their cause, as the engine shows them to the author.
std::string FileErrorFromWindows(long error) {
    return GetFileErrorText(CFileException::CauseFromWindowsError(error));
}

void AppendLittleEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

class ArchiveReader {
public:
    explicit ArchiveReader(const std::string& bytes) : m_bytes(bytes) {}
    bool Number(int bytes, std::uint64_t* value) {
        if (m_bytes.size() - m_pos < size_t(bytes)) return false;
        *value = 0;
        for (int i = 0; i < bytes; ++i)
            *value |= std::uint64_t(static_cast<unsigned char>(m_bytes[m_pos + i])) << (8 * i);
        m_pos += size_t(bytes);
        return true;
    }
    bool Length(std::uint64_t* length) {
        if (!Number(1, length)) return false;
        if (*length < 0xFF) return true;
        if (!Number(2, length)) return false;
        if (*length < 0xFFFF) return true;
        return Number(4, length);
    }
    bool Count(std::uint64_t* count) {
        if (!Number(2, count)) return false;
        return *count < 0xFFFF || Number(4, count);
    }
    bool String(std::string* text) {
        std::uint64_t length = 0;
        if (!Length(&length) || length > m_bytes.size() - m_pos) return false;
        text->assign(m_bytes, m_pos, size_t(length));
        m_pos += size_t(length);
        return true;
    }
    size_t Left() const { return m_bytes.size() - m_pos; }

private:
    const std::string& m_bytes;
    size_t m_pos = 0;
};

}  // namespace

void AppendArchiveString(std::string& out, const std::string& text) {
    std::uint64_t n = text.size();
    if (n < 0xFF) {
        AppendLittleEndian(out, n, 1);
    } else if (n < 0xFFFE) {
        out += '\xFF';
        AppendLittleEndian(out, n, 2);
    } else {
        out += "\xFF\xFF\xFF";
        AppendLittleEndian(out, n, 4);
    }
    out += text;
}

void AppendArchiveCount(std::string& out, std::uint64_t count) {
    if (count < 0xFFFF) {
        AppendLittleEndian(out, count, 2);
    } else {
        out += "\xFF\xFF";
        AppendLittleEndian(out, count, 4);
    }
}

std::string EncodeRequest(const CReportRequest& r) {
    std::string out;
    for (const std::string* s : {&r.m_reportPath, &r.m_title, &r.m_htmlType, &r.m_selection, &r.m_orderBy,
                                 &r.m_dataSource, &r.m_userName, &r.m_password})
        AppendArchiveString(out, *s);
    AppendArchiveCount(out, r.m_formulas.size());
    for (const auto& [name, text] : r.m_formulas) {
        AppendArchiveString(out, name);
        AppendArchiveString(out, text);
    }
    return out;
}

bool DecodeRequest(const std::string& bytes, CReportRequest& r) {
    ArchiveReader in(bytes);
    for (std::string* s : {&r.m_reportPath, &r.m_title, &r.m_htmlType, &r.m_selection, &r.m_orderBy, &r.m_dataSource,
                           &r.m_userName, &r.m_password}) {
        if (!in.String(s)) return false;
    }
    std::uint64_t count = 0;
    // Each entry takes at least two bytes, so a count beyond that cannot be honest.
    if (!in.Count(&count) || count > in.Left() / 2) return false;
    r.m_formulas.clear();
    for (std::uint64_t i = 0; i < count; ++i) {
        std::string name, text;
        if (!in.String(&name) || !in.String(&text)) return false;
        r.m_formulas[name] = text;
    }
    return in.Left() == 0;
}

CReportRequest::CReportRequest(std::string folder) : m_folder(std::move(folder)) {}
CReportRequest::~CReportRequest() = default;

std::string CReportRequest::GetRequestPath() const {
    return m_folder + "/" + kRequestFile;
}
std::string CReportRequest::GetResponsePath() const {
    return m_folder + "/" + kResponseFile;
}
std::string CReportRequest::GetErrorPath() const {
    return m_folder + "/" + kErrorFile;
}
std::string CReportRequest::GetReportOutputPath() const {
    return m_folder + "/" + kOutputFile;
}

bool CReportRequest::Write() {
    std::string bytes = EncodeRequest(*this);
    if (long err = platform::WriteFileFromStart(GetRequestPath(), bytes.data(), bytes.size(), false);
        err != platform::ERROR_SUCCESS) {
        m_errorText = FileErrorFromWindows(err);
        return false;
    }
    return true;
}

bool CReportRequest::Read() {
    std::string bytes;
    if (long code = platform::ReadRegularFileNoFollow(GetRequestPath(), &bytes); code != 0) {
        m_errorText = FileErrorFromWindows(code);
        return false;
    }
    if (!DecodeRequest(bytes, *this)) {
        m_errorText = "the request file is damaged or incomplete";
        return false;
    }
    platform::RemoveFile(GetRequestPath());
    return true;
}

void CReportRequest::ClearResponse() {
    platform::IniDeleteSection(GetResponsePath(), kSection);
}

void CReportRequest::WriteSuccess() {
    platform::IniWriteString(GetResponsePath(), kSection, "ReportSucceeded", "1");
}

void CReportRequest::WriteFailure(long number, const std::string& text, const std::string& libraryLine) {
    platform::IniWriteString(GetResponsePath(), kSection, "ReportSucceeded", "0");
    platform::IniWriteString(GetResponsePath(), kSection, "ReportErrNumber",
                             std::to_string(static_cast<std::int16_t>(number)));
    if (long err = platform::WriteFileFromStart(GetErrorPath(), text.data(), text.size(), false);
        err != platform::ERROR_SUCCESS) {
        WriteTraceLog("REPORT", "Error",
                      "Unexpected error occurred while attempting to write report error file (" +
                          FileErrorFromWindows(err) + ").");
    }
    platform::IniWriteString(GetResponsePath(), kSection, "ReportLibInfo", libraryLine);
}

bool CReportRequest::GetReportSucceeded() const {
    return platform::IniGetInt(GetResponsePath(), kSection, "ReportSucceeded", 0) == 1;
}

void CReportRequest::GetReportError(short& number, std::string& text, std::string& libInfo) {
    number = static_cast<short>(platform::IniGetInt(GetResponsePath(), kSection, "ReportErrNumber", 0));
    // A plain read: an empty or missing ERROR.TXT is an empty text, and the section is
    // cleared whatever the file held.
    text.clear();
    platform::ReadRegularFileNoFollow(GetErrorPath(), &text);
    platform::RemoveFile(GetErrorPath());
    libInfo = platform::IniGetString(GetResponsePath(), kSection, "ReportLibInfo", "", 4096);
    ClearResponse();
}

}  // namespace tessaro::reports
