#include "engine/server/reply_writer.h"

#include <algorithm>

#include "engine/server/hdml_library.h"
#include "engine/server/server_error_log.h"
#include "support/temp_file.h"
#include "platform/file_system.h"
#include "platform/framework_exception.h"
#include "platform/win32_error.h"
#include "support/file_helpers.h"

namespace {

// A header value keeps no bare CR or LF, and no NUL that a web server could cut
// the line at; a final "\n" ends its line.
std::string SanitizeHeaderText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\0') continue;
        if (c == '\n') {
            // Keep a line end only when more header text, or nothing, follows it as a new line.
            if (!out.empty() && out.back() != '\n') out += '\n';
            continue;
        }
        out += c;
    }
    return out;
}

// The text stays within one header line.
std::string StripLineBreaks(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r' && c != '\n' && c != '\0') out += c;
    return out;
}

// The CGI status line the web server turns into the HTTP status; none for a success.
std::string StatusLine(int status) {
    switch (status) {
        case 200:
            return {};
        case 404:
            return "Status: 404 Not Found\n";
        case 503:
            return "Status: 503 Service Unavailable\n";
        case 500:
            return "Status: 500 Internal Server Error\n";
        default:
            return "Status: " + std::to_string(status) + "\n";
    }
}

const char kDeckFallbackPage[] =
    "<HTML><HEAD><TITLE>Error Occurred While Processing Request</TITLE></HEAD><BODY><HR>"
    "<H3>Error Occurred While Processing Request</H3><P>The HDML deck could not be generated.<P><HR>\n"
    "</BODY></HTML>";

}  // namespace

CReplyWriter::CReplyWriter(CReplyChannel* channel) : m_real(channel) {
    if (channel != nullptr) m_budget.SetReceiverProbe([channel] { return channel->ReceiverGone(); });
}

CReplyWriter::~CReplyWriter() = default;

void CReplyWriter::SetContentType(const std::string& type) {
    m_contentType = StripLineBreaks(type);
}

void CReplyWriter::SetStatus(int status) {
    m_status = status;
}

void CReplyWriter::AddHeader(const std::string& text) {
    m_headers += SanitizeHeaderText(text);
}

void CReplyWriter::CreateOutputBuffer() {
    m_memory = std::make_unique<CMemoryReplyChannel>();
    m_current = m_memory.get();
}

void CReplyWriter::BeginOutput() {
    if (m_outputBuffer) return;
    CreateOutputBuffer();
    m_outputBuffer = true;
}

void CReplyWriter::BeginEnginePage() {
    CreateOutputBuffer();
    m_outputBuffer = true;
    SetContentType(kEnginePageType);
}

void CReplyWriter::Redirect(const std::string& url) {
    CreateOutputBuffer();
    AddHeader("Location: " + StripLineBreaks(url) + "\n");
    m_outputBuffer = false;
}

void CReplyWriter::ReplyWithFile(const std::string& contentType, const std::string& path, bool deleteAfter) {
    m_fileReply = true;
    m_deleteAfter = deleteAfter;
    m_filePath = path;
    m_file = {};
    SetContentType(contentType);
}

void CReplyWriter::ReplyWithFile(const std::string& contentType, tessaro::platform::CheckedFile file,
                                 bool deleteAfter) {
    m_fileReply = true;
    m_deleteAfter = deleteAfter;
    m_filePath = file.Folder().Path() + "/" + file.Name();
    m_file = std::move(file);
    SetContentType(contentType);
}

std::string CReplyWriter::GetBufferedBody() const {
    return m_memory ? std::string(m_memory->GetBytes(), m_memory->GetLength()) : std::string();
}

void CReplyWriter::Finish() {
    if (!m_headersSent) SendReply();
    if (m_current) m_current->Close();
    m_finished = true;
}

std::string CReplyWriter::BuildHeader() const {
    std::string header = StatusLine(m_status);
    if (m_outputBuffer) header += "Content-type: " + m_contentType + "\n";
    return header + m_headers;
}

void CReplyWriter::RefuseOversizedHeader(const CWebMessage& detail) {
    // Nothing of what the page set goes out: its headers, its redirect, its file.
    m_headers.clear();
    m_fileReply = false;
    m_deleteAfter = false;
    m_file = {};
    static constexpr const char* kTitle = "Reply header too long";
    if (m_errorPage) m_errorPage(kTitle, detail);
    if (m_errorPage && CRequestBudget::HeaderOverrun(BuildHeader()).Empty()) return;
    m_headers.clear();
    SetStatus(500);
    BeginEnginePage();
    m_memory->WriteText(
        "<HTML><HEAD><TITLE>Error Occurred While Processing Request</TITLE></HEAD><BODY><HR><H3>Error Occurred "
        "While Processing Request</H3><P> <TABLE BORDER><TR><TD><H4>Error Diagnostic Information</H4><P>");
    m_memory->WriteText(std::string(kTitle) + "<P> " + detail.Html() + "</TD></TR></TABLE><P><HR>\n</BODY></HTML>");
}

void CReplyWriter::SendReply() {
    // Every header line the engine writes passes here: the type, a redirect, cookies, the
    // template's own headers, the status.
    if (CWebMessage overrun = CRequestBudget::HeaderOverrun(BuildHeader()); !overrun.Empty())
        RefuseOversizedHeader(overrun);
    if (m_contentType == kHdmlContentType) {
        std::string path;
        try {
            path = NewTempFileName();
        } catch (CFileException* e) {
            LogServerError("Error occurred while attempting to create a temporary file for the HDML deck.",
                           e->m_lOsError);
            e->Delete();
        }
        if (!path.empty()) {
            m_fileReply = true;
            m_deleteAfter = true;
            m_filePath = path;
            m_file = {};
            if (m_decks) m_decks->Load();
            int result = m_decks ? m_decks->GenerateDeck(GetBufferedBody(), path) : 0;
            if (result == 0) {
                m_contentType = kEnginePageType;
                // An empty result would send nothing at all; give the browser a page.
                if (GetFileSizeByName(path) == 0)
                    WriteFileContents(kDeckFallbackPage, sizeof kDeckFallbackPage - 1, path, false);
            } else if (result != 1) {
                // Neither deck nor page reached the file: what is there must not go out as either.
                LogServerError("Error occurred while attempting to write the HDML deck to the file '" + path + "'.", 0);
                m_contentType = kEnginePageType;
                m_fileReply = false;
                tessaro::platform::RemoveFile(path);
                CreateOutputBuffer();
                m_memory->WriteText(kDeckFallbackPage);
            }
        } else {
            m_contentType = kEnginePageType;
        }
    }
    std::string header = BuildHeader();
    if (m_real) {
        if (!m_fileReply) {
            // The body goes by its byte length: a NUL inside it is data. Nothing is flushed
            // here: the close that follows sends the reply and its end together.
            if (m_real->WriteText(header + "\n") && m_memory && m_memory->GetLength() > 0)
                m_real->Write(m_memory->GetBytes(), m_memory->GetLength());
        } else {
            SendFile(header);
        }
    }
    m_memory.reset();
    m_headersSent = true;
    m_current = m_real;
}

void CReplyWriter::SendFile(std::string header) {
    namespace plat = tessaro::platform;
    // The engine's own file is opened now; a file from a template was opened (and judged) when named.
    if (!m_file.IsOpen()) {
        long error = plat::OpenCheckedFile(m_filePath, plat::FileAccess::Read, {}, &m_file);
        if (error != plat::ERROR_SUCCESS) {
            LogServerError("Error occurred while attempting to map the file '" + m_filePath +
                               "' into memory (Error attempting to open file to be mapped.).",
                           error);
            return;
        }
    }
    const std::uint64_t size = m_file.Size();
    if (m_contentType == kHdmlContentType)
        header = StatusLine(m_status) + "Content-type: " + kHdmlContentType + "\n";
    else
        header += "Content-length: " + std::to_string(size) + "\n";
    if (m_real->WriteText(header + "\n")) {
        // In pieces from the descriptor: a large file never sits whole in memory.
        static constexpr std::size_t kPiece = 65536;
        std::string piece(kPiece, '\0');
        for (std::uint64_t sent = 0; sent < size;) {
            long n = m_file.ReadAt(sent, piece.data(),
                                   static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, size - sent)));
            if (n <= 0 || !m_real->Write(piece.data(), static_cast<std::size_t>(n))) break;
            sent += static_cast<std::uint64_t>(n);
        }
    }
    if (!m_deleteAfter) return;
    if (long error = m_file.RemoveName(); error != plat::ERROR_SUCCESS)
        LogServerError("Error occurred while attempting to delete the file '" + m_filePath + "'.", error);
}
