// The report request both sides share: the engine fills and writes it, the report server
// reads it, runs it and answers through RESPONSE.INI ([ReportStatus] ReportSucceeded,
// ReportErrNumber, ReportLibInfo) and ERROR.TXT; the engine then reads the answer.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace tessaro::reports {

class CReportRequest {
public:
    // folder: the request folder holding the four files.
    explicit CReportRequest(std::string folder);
    virtual ~CReportRequest();

    virtual void Run() = 0;
    // Writes REQUEST.DAT; false with m_errorText set on a file error.
    virtual bool Write();
    // Reads REQUEST.DAT and deletes it; false with m_errorText set (the file stays) when it
    // cannot be read or is not a whole request.
    virtual bool Read();

    // The report server's answers.
    void ClearResponse();
    void WriteSuccess();
    // The number is kept as a signed 16-bit number; libraryLine is the print engine's line.
    void WriteFailure(long number, const std::string& text, const std::string& libraryLine);

    // The engine's reading of the answer. GetReportError also removes ERROR.TXT and clears
    // the response; a missing or empty ERROR.TXT gives an empty text.
    bool GetReportSucceeded() const;
    void GetReportError(short& number, std::string& text, std::string& libInfo);

    const std::string& Folder() const { return m_folder; }
    std::string GetRequestPath() const;
    std::string GetResponsePath() const;
    std::string GetErrorPath() const;
    std::string GetReportOutputPath() const;

    // The eight strings, in file order, then the formulas.
    std::string m_reportPath, m_title, m_htmlType, m_selection, m_orderBy, m_dataSource, m_userName, m_password;
    std::map<std::string, std::string> m_formulas;
    std::string m_errorText;

protected:
    std::string m_folder;
};

// The archive form of REQUEST.DAT, apart from the files (also what the tests check).
std::string EncodeRequest(const CReportRequest& request);
// False when the bytes are not one whole request: every length is checked against what is left.
bool DecodeRequest(const std::string& bytes, CReportRequest& request);
void AppendArchiveString(std::string& out, const std::string& text);
void AppendArchiveCount(std::string& out, std::uint64_t count);

}  // namespace tessaro::reports
