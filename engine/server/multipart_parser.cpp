#include "engine/server/multipart_parser.h"

#include <cctype>
#include <memory>

#include "engine/server/request_reader.h"
#include "engine/server/server_error_log.h"
#include "engine/server/uploaded_file.h"
#include "platform/framework_exception.h"
#include "platform/win32_error.h"
#include "support/file_helpers.h"
#include "support/temp_file.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

[[noreturn]] void Malformed(const CWebMessage& title, const CWebMessage& detail) {
    throw new CWebException(title, detail, std::string());
}

// A keyword matches where a parameter starts: at the header start or after
// white space, ";" or a line end.
std::size_t FindKeyword(const std::string& upperHeader, const std::string& upperKeyword) {
    std::size_t at = 0;
    while ((at = upperHeader.find(upperKeyword, at)) != std::string::npos) {
        if (at == 0) return at;
        unsigned char before = static_cast<unsigned char>(upperHeader[at - 1]);
        if (before == ';' || std::isspace(before)) return at;
        ++at;
    }
    return std::string::npos;
}

}  // namespace

bool CMultipartParser::GetHeaderAttribute(const std::string& header, const std::string& keyword,
                                          const std::string& terminator, std::string& value) {
    std::string upper = UpperCopy(header);
    std::string key = UpperCopy(keyword);
    std::size_t at = FindKeyword(upper, key);
    if (at == std::string::npos) return false;
    std::size_t start = at + key.size();
    std::size_t end = terminator.empty() ? std::string::npos : upper.find(UpperCopy(terminator), start);
    // Keywords are found without regard to case; the value keeps the case it was sent in, so
    // an uploaded avatar.png is saved as avatar.png on a disk that tells the cases apart.
    value = UrlDecode(header.substr(start, end == std::string::npos ? std::string::npos : end - start));
    return true;
}

void CMultipartParser::Parse(const char* body, std::size_t length, const std::string& boundary) {
    const std::string delimiter = "--" + boundary;
    const char* end = body + length;
    const char* found = FindBytes(delimiter.c_str(), body, length);
    if (!found)
        Malformed("Invalid multi-part data.", "The multi-part boundary marker is not present in the posted data.");
    const char* p = found + delimiter.size();
    int sections = 0;
    while (end - p > 2 && !(p[0] == '-' && p[1] == '-')) {
        if (m_maxSections >= 0 && sections++ >= m_maxSections) break;
        std::size_t remaining = static_cast<std::size_t>(end - p);
        const char* headerEnd = FindBytes("\r\n\r\n", p, remaining);
        if (!headerEnd)
            Malformed("Invalid multipart data.", CWebMessage("Unable to locate the end of the header in the final ") +
                                                     std::to_string(remaining) + " of " + std::to_string(length) +
                                                     " bytes.");
        std::string header(p, static_cast<std::size_t>(headerEnd - p));
        const char* data = headerEnd + 4;
        std::size_t dataRemaining = static_cast<std::size_t>(end - data);
        const char* next = FindBytes(delimiter.c_str(), data, dataRemaining);
        if (!next)
            Malformed("Invalid multipart data.",
                      CWebMessage("No Delimiter marked the end of the data segment in the final ") +
                          std::to_string(dataRemaining) + " bytes. (Delimiter = '" + delimiter + "'.)");
        // The delimiter must follow its own line end; a section too short for
        // it is malformed rather than a negative length.
        std::ptrdiff_t distance = next - data;
        if (distance < 2)
            Malformed("Invalid multipart data.", "A data segment is not followed by a line end before the delimiter.");
        ProcessSection(header, data, static_cast<std::size_t>(distance - 2));
        p = next + delimiter.size();
    }
}

void CMultipartParser::ProcessSection(const std::string& header, const char* data, std::size_t length) {
    std::string name;
    if (!GetHeaderAttribute(header, "NAME=\"", "\"", name))
        Malformed("Invalid MIME section.",
                  CWebMessage("The section header lacks a name attribute. Header = '") + header + "'");
    // A field's name is a name, compared without case (FORM.photo is FORM.PHOTO).
    name = UpperCopy(name);
    std::string fileName;
    if (!GetHeaderAttribute(header, "FILENAME=\"", "\"", fileName)) {
        m_reader.AddFormField(name, std::string(data, length));
        return;
    }
    auto record = std::make_unique<CUploadedFile>();
    std::string contentType;
    if (GetHeaderAttribute(header, "CONTENT-TYPE: ", "\"", contentType)) {
        // A type is a name compared without case: it is kept in capitals, as ACCEPT is.
        contentType = UpperCopy(contentType);
        TrimString(contentType);
        std::size_t slash = contentType.find('/');
        if (slash == std::string::npos || slash == 0 || slash + 1 == contentType.size())
            Malformed("Invalid MIME type declaration.",
                      CWebMessage("The MIME content declaration, '") + contentType +
                          "', must specify both a type and a sub-type (e.g., 'text/plain').");
        record->ContentType = contentType.substr(0, slash);
        record->ContentSubType = contentType.substr(slash + 1);
    }
    std::string dir, file, ext;
    SplitPath(fileName, dir, file, ext);
    // The name part without its extension.
    if (!ext.empty() && file.size() > ext.size() && file[file.size() - ext.size() - 1] == '.')
        file.resize(file.size() - ext.size() - 1);
    record->ClientDirectory = dir;
    record->ClientFileName = file;
    record->ClientFileExt = ext;
    SaveUploadedFile(name, record.release(), data, length);
}

void CMultipartParser::SaveUploadedFile(const std::string& name, CUploadedFile* record, const char* data,
                                        std::size_t length) {
    std::unique_ptr<CUploadedFile> owned(record);
    if (length >= 1) {
        std::string path = NewTempFileName();
        owned->TempFilePath = path;  // from here on the record removes the file
        if (!WriteFileContents(data, length, path, false)) {
            const long error = tessaro::platform::Win32LastErrno();
            LogRequestFileError("write", "uploaded file", path, error);
            // A full disk is no fault of the path.
            throw new CFileException(
                error == tessaro::platform::ERROR_DISK_FULL ? CFileException::diskFull : CFileException::badPath, error,
                path);
        }
    }
    m_reader.AddFileField(name, owned.release());
}
