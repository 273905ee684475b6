#include "engine/server/request_reader.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "engine/server/multipart_parser.h"
#include "platform/descriptor.h"
#include "platform/file_system.h"
#include "platform/home.h"
#include "platform/private_file.h"
#include "platform/temp_file.h"
#include "platform/win32_error.h"
#include "support/mapped_file.h"
#include "engine/server/reply_writer.h"
#include "engine/server/server_error_log.h"
#include "interfaces/environment_block.h"
#include "platform/path_util.h"
#include "platform/pipe_frame.h"
#include "support/byte_buffer.h"
#include "support/html_escape.h"
#include "support/server_settings.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

const char kExcludedVariables[] =
    "COMPUTERNAME\nCOMSPEC\nCPU\nINCLUDE\nLIB\nMSTOOLS\nOS\nOS2LIBPATH\nPATH\nPROCESSOR_ARCHITECTURE\n"
    "PROCESSOR_IDENTIFIER\nPROCESSOR_LEVEL\nPROCESSOR_REVISION\nSYSTEMROOT\nSYSTEMDRIVE\nTZ\nWINDIR\n";

const char* const kServerSetVariables[] = {
    "AUTH_TYPE",   "CONTENT_LENGTH",  "CONTENT_TYPE",   "DOCUMENT_ROOT",   "GATEWAY_INTERFACE", "HTTPS",
    "PATH_INFO",   "PATH_TRANSLATED", "QUERY_STRING",   "REMOTE_ADDR",     "REMOTE_HOST",       "REMOTE_IDENT",
    "REMOTE_PORT", "REMOTE_USER",     "REQUEST_METHOD", "REQUEST_URI",     "SCRIPT_FILENAME",   "SCRIPT_NAME",
    "SERVER_ADDR", "SERVER_NAME",     "SERVER_PORT",    "SERVER_PROTOCOL", "SERVER_SOFTWARE",   "LOGON_USER",
    "AUTH_USER",   "AUTH_PASSWORD",   "CERT_SUBJECT",   "REDIRECT_STATUS",
};

bool IsBlank(const std::string& s) {
    for (unsigned char c : s)
        if (!std::isspace(c)) return false;
    return true;
}

// C run-time atol: leading white space, sign, digits. The gateway reads
// CONTENT_LENGTH the same way, so both agree on whether a body follows.
long TextToLong(const std::string& s) {
    const char* p = s.c_str();
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool neg = false;
    if (*p == '+' || *p == '-') neg = *p++ == '-';
    long v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (v > (0x7FFFFFFFL - (*p - '0')) / 10) return neg ? -0x7FFFFFFFL : 0x7FFFFFFFL;
        v = v * 10 + (*p - '0');
    }
    return neg ? -v : v;
}

// The media type of a Content-Type value: the text before ";", blanks trimmed.
std::string MediaType(const std::string& contentType) {
    return TrimmedCopy(contentType.substr(0, contentType.find(';')));
}

}  // namespace

unsigned char HexPairToByte(char high, char low) {
    auto digit = [](char c) {
        int v = tessaro::platform::AsciiUpper(c) - '0';
        if (v > 9) v -= 7;
        return v < 0 ? 0 : (v > 15 ? 15 : v);
    };
    return static_cast<unsigned char>(16 * digit(high) + digit(low));
}

namespace {

// How often a long stretch of a body reports its progress (see ParseUrlEncodedBody).
constexpr std::size_t kProgressStep = 1u << 20;

// UrlDecode of text[from, to), reporting every kProgressStep bytes how far it has read.
std::string DecodeRange(std::string_view text, std::size_t from, std::size_t to,
                        const std::function<void(std::size_t)>& consumed) {
    std::string out;
    out.reserve(to - from);
    std::size_t report = from + kProgressStep;
    for (std::size_t i = from; i < to; ++i) {
        if (i >= report && consumed) {
            consumed(i);
            report = i + kProgressStep;
        }
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < to) {
            out += static_cast<char>(HexPairToByte(text[i + 1], text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// The end of the token at pos: the next '&', the first NUL (nul set) or the end of text.
std::size_t TokenEnd(std::string_view text, std::size_t pos, bool& nul,
                     const std::function<void(std::size_t)>& consumed) {
    nul = false;
    while (pos < text.size()) {
        const std::size_t stop = std::min(text.size(), pos + kProgressStep);
        for (; pos < stop; ++pos) {
            if (text[pos] == '&') return pos;
            if (text[pos] == '\0') {
                nul = true;
                return pos;
            }
        }
        if (consumed && pos < text.size()) consumed(pos);
    }
    return pos;
}

}  // namespace

std::string UrlDecode(std::string_view text) {
    return DecodeRange(text, 0, text.size(), nullptr);
}

bool IsValidationField(const std::string& name) {
    if (name.find('_') == std::string::npos) return false;
    std::string upper = UpperCopy(name);
    for (const char* suffix : {"_REQUIRED", "_INTEGER", "_FLOAT", "_RANGE", "_DATE", "_EURODATE", "_TIME"}) {
        std::string s = suffix;
        if (upper.size() >= s.size() && upper.compare(upper.size() - s.size(), s.size(), s) == 0) return true;
    }
    return false;
}

bool IsSafePath(const std::string& path) {
    if (path.find("..") != std::string::npos) return false;
    if (path.find('\0') != std::string::npos) return false;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        bool a = path[i] == '/' || path[i] == '\\';
        bool b = path[i + 1] == '/' || path[i + 1] == '\\';
        if (a && b) return false;
    }
    return true;
}

bool IsServerSetVariable(const std::string& upperName) {
    if (upperName.rfind("TS_", 0) == 0) return true;
    for (const char* v : kServerSetVariables)
        if (upperName == v) return true;
    return false;
}

void ThrowPipeReadError(const CWebMessage& title, long errorNumber) {
    CWebMessage detail;
    if (errorNumber != 0) detail = CWebMessage("Windows NT error number ") + std::to_string(errorNumber) + " occurred.";
    throw new CWebException(title, detail, std::string());
}

std::string CRequestReader::GetCgiVariable(const std::string& name) const {
    std::string upper = UpperCopy(name);
    auto it = m_cgi.find(upper);
    if (it != m_cgi.end()) return it->second;
    std::string alternate;
    if (upper.rfind("HTTP_", 0) == 0)
        alternate = upper.substr(5);
    else if (!IsServerSetVariable(upper))
        alternate = "HTTP_" + upper;
    if (alternate.empty()) return {};
    it = m_cgi.find(alternate);
    return it == m_cgi.end() ? std::string() : it->second;
}

bool CRequestReader::HasCgiVariable(const std::string& name) const {
    std::string upper = UpperCopy(name);
    if (m_cgi.count(upper)) return true;
    if (upper.rfind("HTTP_", 0) == 0) return upper.size() > 5 && m_cgi.count(upper.substr(5));
    return !IsServerSetVariable(upper) && m_cgi.count("HTTP_" + upper);
}

std::string CRequestReader::GetUrlParameter(const std::string& name) const {
    auto it = m_url.find(UpperCopy(name));
    return it == m_url.end() ? std::string() : m_urlList[it->second].second;
}

bool CRequestReader::HasUrlParameter(const std::string& name) const {
    return m_url.count(UpperCopy(name)) != 0;
}

std::string CRequestReader::GetFormField(const std::string& name) const {
    return m_formFields.GetValue(name);
}

bool CRequestReader::HasFormField(const std::string& name) const {
    return m_formFields.FindIndex(name) != -1;
}

void CRequestReader::AddCgiVariable(const std::string& name, const std::string& value) {
    std::string upper = UpperCopy(name);
    if (std::string(kExcludedVariables).find(upper + "\n") != std::string::npos) return;
    m_cgi[upper] = value;
    m_cgiArrival.push_back(upper);
}

void CRequestReader::AddUrlParameter(const std::string& name, const std::string& value) {
    std::string upper = UpperCopy(name);
    auto [it, inserted] = m_url.try_emplace(upper, m_urlList.size());
    if (inserted)
        m_urlList.emplace_back(upper, value);
    else
        m_urlList[it->second].second = value;
}

void CRequestReader::AddFormField(const std::string& name, std::string value) {
    int i = m_formFields.FindIndex(name);
    if (i < 0) {
        m_formFields.Add(name, std::move(value));
        return;
    }
    if (IsBlank(value)) return;
    // Appended in place: copying the joined value for every repeated name (as
    // FIELDNAMES is) made a large form quadratic.
    if (m_formFields.ValueAt(i).empty()) {
        m_formFields.SetValueAt(i, std::move(value));
    } else {
        m_formFields.AppendValueAt(i, ",");
        m_formFields.AppendValueAt(i, value);
    }
}

void CRequestReader::AddFileField(const std::string& name, CUploadedFile* record) {
    m_formFields.AddFileField(name, record);
}

void CRequestReader::AddQueryPair(const std::string& piece) {
    auto eq = piece.find('=');
    if (piece.empty() || eq == std::string::npos) return;
    AddUrlParameter(UrlDecode(piece.substr(0, eq)), UrlDecode(piece.substr(eq + 1)));
}

void CRequestReader::ParseQueryString(const std::string& text) {
    if (text.empty()) return;
    std::size_t start = 0;
    for (;;) {
        auto amp = text.find('&', start);
        AddQueryPair(text.substr(start, amp == std::string::npos ? std::string::npos : amp - start));
        if (amp == std::string::npos) break;
        start = amp + 1;
    }
}

int CRequestReader::GetMaxFormFields() const {
    if (!m_settings) return kMaxFormTokens;
    long v = m_settings->GetNumber("Server", "MaxFormFields", kMaxFormTokens);
    return v > 0 && v <= 0x7FFFFFFF ? static_cast<int>(v) : kMaxFormTokens;
}

void CRequestReader::ParseUrlEncodedBody(std::string_view body, const std::function<void(std::size_t)>& consumed) {
    const int maxTokens = GetMaxFormFields();
    int tokens = 0;
    std::size_t pos = 0;
    // The text ends at a NUL, as the C tokenizer would see it; found token by token, so that
    // the body is read front to back and only the decoded fields stay.
    bool ended = false;
    while (!ended && pos < body.size() && tokens < maxTokens) {
        while (pos < body.size() && body[pos] == '&') ++pos;
        if (pos >= body.size() || body[pos] == '\0') break;
        const std::size_t start = pos;
        pos = TokenEnd(body, start, ended, consumed);
        ++tokens;
        const std::size_t eq = body.substr(start, pos - start).find('=');
        if (eq != std::string_view::npos) {
            std::string name = DecodeRange(body, start, start + eq, consumed);
            if (!IsValidationField(name)) AddFormField("FIELDNAMES", UpperCopy(name));
            AddFormField(name, DecodeRange(body, start + eq + 1, pos, consumed));
        }
        if (consumed) consumed(pos);
    }
}

void CRequestReader::SplitEnvironmentBlock(const char* block, std::size_t length) {
    auto add = [this](std::string_view entryName, std::string_view value) {
        std::string name(entryName);
        for (char& c : name)
            if (c == '-') c = '_';
        AddCgiVariable(name, std::string(value));
    };
    tessaro::interfaces::DecodeEnvironmentBlock(std::string_view(block, length), add);
}

std::size_t CRequestReader::GetMaxBodyBytes() const {
    if (!m_settings) return kDefaultMaxBodyBytes;
    long v = m_settings->GetNumber("Server", "MaxBodyBytes", static_cast<long>(kDefaultMaxBodyBytes));
    return v > 0 ? static_cast<std::size_t>(v) : kDefaultMaxBodyBytes;
}

CRequestReader::CRequestReader(CServerSettings* settings) : m_settings(settings) {}

CRequestReader::~CRequestReader() {
    DropBody();
    // A kept failure that was never thrown still owns its exception object.
    if (!m_receiveError) return;
    try {
        std::rethrow_exception(m_receiveError);
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

bool CRequestReader::ExpectsBody() const {
    long contentLength = TextToLong(GetCgiVariable("CONTENT_LENGTH"));
    return tessaro::platform::EqualsNoCase(GetCgiVariable("REQUEST_METHOD").c_str(), "POST") &&
           !GetCgiVariable("CONTENT_TYPE").empty() && contentLength != 0;
}

bool CRequestReader::ReceiveRequest() {
    if (m_received) return !m_receiveError;
    m_received = true;
    try {
        ReadEnvironment();
        if (ExpectsBody()) {
            m_content = std::make_unique<CByteBuffer>(4096);
            ReadContent(*m_content);
        }
    } catch (...) {
        DropBody();
        m_receiveError = std::current_exception();
    }
    return !m_receiveError;
}

void CRequestReader::DropBody() {
    m_content.reset();
    m_bodyReservation.Release();
    if (!m_bodyFile.empty()) tessaro::platform::RemoveFile(m_bodyFile);
    m_bodyFile.clear();
}

void CRequestReader::ParseCgiEnvironment() {
    ReceiveRequest();
    if (m_receiveError) {
        std::exception_ptr error = m_receiveError;
        m_receiveError = nullptr;
        std::rethrow_exception(error);
    }
    ParseQueryString(GetCgiVariable("QUERY_STRING"));
    if (!m_content) return;
    // The body goes with the parse: a large post is not held for the whole request.
    struct Dropper {
        CRequestReader* reader;
        ~Dropper() { reader->DropBody(); }
    } dropper{this};
    if (m_bodyFile.empty()) {
        ParseBody(m_content->GetBytes(), m_content->GetLength(), nullptr);
        return;
    }
    // A body kept in a file is read through a mapping: its pages are the file's, not the heap's.
    if (tessaro::platform::RegularFileSize(m_bodyFile) == 0) return;
    std::unique_ptr<CMappedFile> mapped;
    try {
        mapped = std::make_unique<CMappedFile>(m_bodyFile);
    } catch (CMappedFileException* e) {
        long number = e->GetErrorNumber();
        e->Delete();
        LogRequestFileError("read", "request body file", m_bodyFile, number ? number : 13);
        ThrowPipeReadError("Error attempting to read the content stream from the named pipe", number ? number : 13);
    }
    ParseBody(mapped->GetData(), mapped->GetSize(), mapped.get());
}

void CRequestReader::ParseBody(const char* data, std::size_t size, CMappedFile* mapped) {
    long contentLength = TextToLong(GetCgiVariable("CONTENT_LENGTH"));
    std::string contentTypeRaw = GetCgiVariable("CONTENT_TYPE");
    std::string contentType = UpperCopy(contentTypeRaw);
    if (tessaro::platform::EqualsNoCase(MediaType(contentType).c_str(), "application/x-www-form-urlencoded")) {
        // The fields are what the parse keeps; the body's pages go once it has passed them
        // (a long token is passed twice, to find its end and to decode it).
        constexpr std::size_t kReleaseStep = 4u << 20;
        std::size_t released = 0;
        std::function<void(std::size_t)> consumed;
        if (mapped)
            consumed = [mapped, &released](std::size_t upTo) {
                if (upTo < released + kReleaseStep && upTo + kReleaseStep > released) return;
                mapped->ReleasePagesBefore(upTo);
                released = upTo;
            };
        ParseUrlEncodedBody(std::string_view(data, size), consumed);
    } else if (contentType.rfind("MULTIPART/FORM-DATA", 0) == 0) {
        auto at = contentType.find("BOUNDARY=");
        if (at == std::string::npos)
            throw new CWebException("Invalid multipart MIME data.", "No multipart boundary was declared.", "");
        std::string boundary = contentTypeRaw.substr(at + 9);
        // A quoted boundary (allowed in the header) is matched without its quotes.
        if (boundary.size() >= 2 && boundary.front() == '"') {
            auto close = boundary.find('"', 1);
            if (close != std::string::npos) boundary = boundary.substr(1, close - 1);
        }
        if (boundary.empty())
            throw new CWebException("Invalid multipart MIME data.", "No multipart boundary was declared.", "");
        std::size_t length = size;
        if (contentLength > 0 && static_cast<std::size_t>(contentLength) < length)
            length = static_cast<std::size_t>(contentLength);
        CMultipartParser parser(*this, GetMaxFormFields());
        parser.Parse(data, length, boundary);
    }
}

namespace {

// The debug listing goes to whoever asked with MODE=DEBUG (and to every proxy and cache on
// the way): credentials stay out of it. A login is hidden whole, cookies keep their names.
std::string DebugListedCgiValue(const std::string& name, const std::string& value) {
    if (name == "HTTP_AUTHORIZATION" || name == "HTTP_PROXY_AUTHORIZATION" || name == "AUTH_PASSWORD")
        return value.empty() ? value : "(hidden)";
    if (name != "HTTP_COOKIE") return value;
    std::string shown;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(';', start);
        if (end == std::string::npos) end = value.size();
        const std::string pair = value.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (!shown.empty()) shown += ';';
        shown += equals == std::string::npos ? pair : pair.substr(0, equals + 1) + "(hidden)";
        start = end + 1;
    }
    return shown;
}

}  // namespace

void CRequestReader::DumpRequest(CReplyWriter& writer) const {
    CReplyChannel* out = writer.GetCurrentChannel();
    if (!out) return;
    std::string text = "<PRE>";
    if (m_formFields.GetCount() > 0) {
        text += "<B>Form Fields:</B>\n\n";
        for (int i = 0; i < m_formFields.GetCount(); ++i) {
            std::string name, value;
            m_formFields.GetAt(i, name, value);
            text += HtmlEscape(name) + "=" + HtmlEscape(m_formFields.GetValueOrFilePath(i)) + "\n";
        }
        text += "\n";
    }
    if (!m_urlList.empty()) {
        text += "<B>URL Parameters:</B>\n\n";
        for (const auto& [name, value] : m_urlList) text += HtmlEscape(name) + "=" + HtmlEscape(value) + "\n";
        text += "\n";
    }
    text += "<B>CGI Variables:</B>\n\n";
    for (const auto& name : m_cgiArrival) {
        auto it = m_cgi.find(name);
        text += HtmlEscape(name) + "=" +
                HtmlEscape(DebugListedCgiValue(name, it == m_cgi.end() ? std::string() : it->second)) + "\n";
    }
    text += "</PRE>";
    out->WriteText(text);
}

int CPipeRequestReader::ArrivalMilliseconds() const {
    long seconds = GetSettings() ? GetSettings()->GetNumber("Server", "RequestArrivalSeconds",
                                                            kDefaultRequestArrivalSeconds)
                                 : kDefaultRequestArrivalSeconds;
    if (seconds <= 0 || seconds > 3600) seconds = kDefaultRequestArrivalSeconds;
    return static_cast<int>(seconds * 1000);
}

int CPipeRequestReader::RemainingMilliseconds() {
    auto now = std::chrono::steady_clock::now();
    if (!m_started) {
        m_started = true;
        // From the first byte the whole request has this long, however its bytes are spread:
        // a sender that trickles just inside the stall limit still runs out of time.
        int bound = ArrivalMilliseconds();
        if (m_timeoutMs >= 0 && m_timeoutMs < bound) bound = m_timeoutMs;
        m_deadline = now + std::chrono::milliseconds(bound);
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - now).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int CPipeRequestReader::StallMilliseconds() const {
    long seconds = GetSettings() ? GetSettings()->GetNumber("Server", "ReadStallSeconds", kDefaultReadStallSeconds)
                                 : kDefaultReadStallSeconds;
    if (seconds <= 0 || seconds > 3600) seconds = kDefaultReadStallSeconds;
    return static_cast<int>(seconds * 1000);
}

void CPipeRequestReader::ReadEnvironment() {
    auto r =
        tessaro::platform::ReadPipeFrame(m_socket, kMaxEnvironmentBytes, RemainingMilliseconds(), StallMilliseconds());
    if (r.status != tessaro::platform::PipeReadStatus::Ok || r.kind != tessaro::platform::PipeFrameKind::Message)
        ThrowPipeReadError("Error attempting to read the environment parameters from the named pipe",
                           r.errorNumber ? r.errorNumber : 13);
    SplitEnvironmentBlock(r.payload.data(), r.payload.size());
}

void CPipeRequestReader::ReadContent(CByteBuffer& buffer) {
    namespace plat = tessaro::platform;
    const std::size_t cap = MaxBodyMemoryBytes(GetSettings());
    int fileFd = -1;
    std::string path;
    // A failure of the body's file (not of the pipe) is logged with what was done to which file.
    auto fileFailed = [](const char* action, const std::string& path, long error) {
        LogRequestFileError(action, "request body file", path, error);
        return error;
    };
    // A small body within the memory budget stays in memory; any other goes to a private
    // file as it arrives.
    auto start = [&](std::uint32_t length) -> long {
        if (BodyReservation().TryTake(m_bodyBudget, length, cap)) return 0;
        const std::string folder = BodyFileFolder();
        if (long error = plat::EnsurePrivateDirectory(folder); error != 0) return fileFailed("create", folder, error);
        if (long error = plat::CreatePrivateTempFile(folder, "BDY", &path); error != 0)
            return fileFailed("create", folder, error);
        KeepBodyInFile(path);
        fileFd = plat::OpenForOverwrite(path, 0600);
        return fileFd < 0 ? fileFailed("open", path, plat::Win32LastErrno()) : 0;
    };
    auto sink = [&](const char* data, std::size_t n) -> long {
        if (fileFd < 0) {
            buffer.Append(data, n);
            return 0;
        }
        return plat::WriteFully(fileFd, data, n) ? 0 : fileFailed("write", path, plat::Win32LastErrno());
    };
    auto r = plat::ReadPipeFrameInto(m_socket, GetMaxBodyBytes(), RemainingMilliseconds(), StallMilliseconds(), start,
                                     sink);
    if (fileFd >= 0) plat::CloseDescriptor(fileFd);
    if (r.status != plat::PipeReadStatus::Ok || r.kind != plat::PipeFrameKind::Message)
        ThrowPipeReadError("Error attempting to read the content stream from the named pipe",
                           r.errorNumber ? r.errorNumber : 13);
}

CCopyDataRequestReader::CCopyDataRequestReader(std::size_t environmentLength, std::size_t bodyLength, const char* data,
                                               CServerSettings* settings)
    : CRequestReader(settings), m_environment(data, environmentLength) {
    if (bodyLength != 0) m_body.assign(data + environmentLength, bodyLength);
}

void CCopyDataRequestReader::ReadEnvironment() {
    SplitEnvironmentBlock(m_environment.data(), m_environment.size());
}

void CCopyDataRequestReader::ReadContent(CByteBuffer& buffer) {
    if (!m_body.empty()) buffer.Append(m_body.data(), m_body.size());
}
