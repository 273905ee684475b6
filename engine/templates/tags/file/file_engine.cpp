#include "engine/templates/tags/file/file_engine.h"

#include <cstring>
#include <ctime>

#include "support/file_helpers.h"
#include "engine/server/form_field_list.h"
#include "engine/server/request_reader.h"
#include "support/runtime_file_gate.h"
#include "support/text_helpers.h"
#include "support/timestamp_literal.h"
#include "support/trace_log.h"
#include "engine/server/uploaded_file.h"
#include "support/web_exception.h"
#include "engine/templates/tags/file/upload_name.h"
#include "engine/templates/core/tag_file_path.h"
#include "platform/clock.h"
#include "platform/file_ops.h"
#include "platform/home.h"
#include "platform/path_util.h"
#include "platform/win32_error.h"

namespace plat = tessaro::platform;

namespace {

constexpr const char* kTitle = "Error processing TSFILE tag";
// The title of the two upload errors that name what the form or the folder lacks.
constexpr const char* kUploadInputTitle = "Error in TSFILE tag";
constexpr const char* kLogName = "TSFILE";

const char* const kResultVariables[] = {
    "ContentType",         "ContentSubType",     "ClientDirectory",  "ClientFileName", "ClientFileExt", "ClientFile",
    "AttemptedServerFile", "ServerDirectory",    "ServerFile",       "ServerFileName", "ServerFileExt", "FileExisted",
    "FileWasSaved",        "FileWasOverwritten", "FileWasAppended",  "FileWasRenamed", "FileSize",      "OldFileSize",
    "TimeCreated",         "TimeLastModified",   "DateLastAccessed",
};

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// Why a destination was left as it is, when the error says it is no regular file.
CWebMessage NotReplacedReason(long error) {
    if (error != plat::ERROR_BAD_FILE_TYPE) return {};
    return CWebMessage(
        " The destination is not a regular file (a device, a FIFO, a socket, a link or a folder); only a regular "
        "file is replaced.");
}

CWebMessage WindowsError(long error, const CWebMessage& attempt) {
    return CWebMessage::Value(plat::WindowsErrorText(error)) + " while attempting to " + attempt + "." +
           NotReplacedReason(error);
}

// Leading bytes of the types whose content can be told from its start.
struct Signature {
    const char* type;
    const char* subtype;
    const char* bytes;
    std::size_t length;
};
constexpr Signature kSignatures[] = {
    {"IMAGE", "GIF", "GIF8", 4},          {"IMAGE", "PNG", "\x89PNG\r\n\x1a\n", 8},
    {"IMAGE", "JPEG", "\xff\xd8\xff", 3}, {"IMAGE", "PJPEG", "\xff\xd8\xff", 3},
    {"APPLICATION", "PDF", "%PDF-", 5},
};

// False when the declared type has a known signature the file does not start with.
bool ContentMatchesDeclaredType(const CUploadedFile& upload, const std::string& type, const std::string& subtype) {
    for (const Signature& signature : kSignatures) {
        if (type != signature.type || subtype != signature.subtype) continue;
        std::string head;
        if (plat::ReadWholeFile(upload.TempFilePath, &head) != plat::ERROR_SUCCESS) return false;
        return head.size() >= signature.length && std::memcmp(head.data(), signature.bytes, signature.length) == 0;
    }
    return true;
}

}  // namespace

SplitFilePath SplitFileTagPath(const std::string& path) {
    SplitFilePath split;
    std::size_t slash = path.find_last_of("/\\");
    std::string name = path;
    if (slash != std::string::npos) {
        split.dir = path.substr(0, slash);
        // The root keeps its separator.
        if (split.dir.empty() || (split.dir.size() == 2 && split.dir[1] == ':')) split.dir = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        split.name = name;
    } else {
        split.name = name.substr(0, dot);
        split.ext = name.substr(dot + 1);
    }
    return split;
}

std::string JoinNameAndExtension(const std::string& name, const std::string& ext) {
    return ext.empty() ? name : name + "." + ext;
}

std::string JoinDirectoryAndName(const std::string& dir, const std::string& name) {
    if (dir.empty() || IsSeparator(dir.back())) return dir + name;
    return dir + "/" + name;
}

CFileTag::CFileTag(FileTagHost host) : m_host(std::move(host)) {
    for (const char* name : kResultVariables) Set(name, "");
}

void CFileTag::Fail(const CWebMessage& detail, const CWebMessage& title) const {
    throw new CWebException(title, detail);
}

void CFileTag::SetAccept(const std::string& value) {
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = value.find(',', start);
        std::string entry = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::size_t slash = entry.find('/');
        if (slash == std::string::npos)
            Fail(CWebMessage("Invalid MIME type specification (") + entry +
                 ") used in ACCEPT attribute of the TSFILE tag. <P> The correct format for MIME types is "
                 "'type/sub-type' (e.g., 'text/plain' or 'image/gif').");
        m_acceptTypes.push_back(UpperCopy(TrimmedCopy(entry.substr(0, slash))));
        m_acceptSubTypes.push_back(UpperCopy(TrimmedCopy(entry.substr(slash + 1))));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
}

void CFileTag::SetNameConflict(const std::string& value) {
    std::string upper = UpperCopy(TrimmedCopy(value));
    if (upper == "ERROR")
        m_nameConflict = kError;
    else if (upper == "SKIP")
        m_nameConflict = kSkip;
    else if (upper == "OVERWRITE")
        m_nameConflict = kOverwrite;
    else if (upper == "MAKEUNIQUE")
        m_nameConflict = kMakeUnique;
    else
        throw new CWebException("Invalid TSFILE tag",
                                CWebMessage("The value you have specified for the NAMECONFLICT attribute (") + upper +
                                    ") is invalid. You must specify one of the following values for this attribute: "
                                    "<UL><LI>ERROR <LI>SKIP <LI>OVERWRITE <LI>MAKEUNIQUE </UL>");
}

void CFileTag::Execute() {
    std::string action = UpperCopy(m_action);
    if (action == "UPLOAD")
        Upload();
    else if (action == "WRITE")
        WriteText(false);
    else if (action == "APPEND")
        WriteText(true);
    else if (action == "MOVE" || action == "RENAME")
        MoveOrRename();
    else if (action == "COPY")
        Copy();
    else if (action == "DELETE")
        Delete();
    else if (action == "READ")
        ReadText();
    else
        Fail(CWebMessage("The ACTION attribute of the TSFILE tag is invalid. The attribute you specified was '") +
             m_action + "' (valid attributes are UPLOAD, WRITE, APPEND, READ, COPY, MOVE, RENAME, and DELETE).");
    if (m_host.logActions) LogAction();
}

void CFileTag::RequireFile() const {
    if (m_file.empty())
        Fail(CWebMessage("The FILE attribute is required when ACTION=\"") + m_action +
             "\". Please be sure that you have specified this attribute.");
}

void CFileTag::CheckPath(const std::string& path) const {
    CheckTagFilePath(path, kTitle);
    // A value decoded once more must not climb out either.
    std::string decoded = UrlDecode(path);
    if (decoded != path) CheckTagFilePath(decoded, kTitle);
    if (m_host.files->IsPrivate(plat::ToUnixPath(path)))
        Fail(WindowsError(plat::ERROR_ACCESS_DENIED, CWebMessage("access the file '") + path + "'"));
}

void CFileTag::CheckFileExists(const std::string& path) const {
    if (!FileExists(path))
        Fail(CWebMessage("The file, '<i>") + path +
             "</i>', was not found.Please verify that the source file exists "
             "before using it in a " +
             m_action + " action.");
}

void CFileTag::WriteText(bool append) {
    RequireFile();
    CheckPath(m_file);
    std::string dir = SplitFileTagPath(m_file).dir;
    if (!PathExists(dir))
        Fail(CWebMessage("The directory you have specified in the FILE attribute'") + dir +
             "' does not correspond to a valid Windows NT path. Please verify that the directory which you have "
             "specified exists and is accessible by the Tessaro service.");
    long err = plat::WriteTextFile(m_file, m_output + "\n", append, m_host.files->Check());
    if (err != plat::ERROR_SUCCESS)
        Fail(WindowsError(err,
                          (append ? CWebMessage("append to") : CWebMessage("write")) + " the file '" + m_file + "'"));
}

void CFileTag::ReadText() {
    RequireFile();
    CheckPath(m_file);
    CheckFileExists(m_file);
    if (m_variable.empty())
        Fail(CWebMessage("The VARIABLE attribute of the TSFILE tag is required when ACTION=\"") + m_action +
             "\". This attribute specifies the name of the Tessaro variable into which you wish to read the file "
             "specified in the FILE attribute.");
    std::string bytes;
    // Bounded as a function result is: a huge file (or a device) cannot fill the engine's memory.
    const std::size_t limit = m_host.maxReadBytes;
    long err = plat::ReadCheckedFile(m_file, limit, m_host.files->Check(), &bytes);
    if (err == plat::ERROR_FILE_TOO_LARGE)
        Fail(CWebMessage("The file '") + m_file + "' is larger than the " + std::to_string(limit) +
             " bytes a variable may hold (Server\\MaxFunctionResultBytes).");
    if (err != plat::ERROR_SUCCESS) Fail(WindowsError(err, CWebMessage("read the file '") + m_file + "'"));
    // The variable's text ends at the first zero byte.
    std::size_t zero = bytes.find('\0');
    if (zero != std::string::npos) bytes.resize(zero);
    m_host.setVariable(m_variable, bytes);
}

void CFileTag::ResolveSourceAndDestination() {
    if (m_source.empty())
        Fail(CWebMessage("The SOURCE attribute of the TSFILE tag is required when ACTION=\"") + m_action + "\".");
    if (m_destination.empty())
        Fail(CWebMessage("The DESTINATION attribute of the TSFILE tag is required when ACTION=\"") + m_action + "\".");
    CheckPath(m_source);
    CheckPath(m_destination);
    SplitFilePath src = SplitFileTagPath(m_source);
    std::string srcFile = JoinNameAndExtension(src.name, src.ext);
    // An existing folder named without a closing separator is still the folder.
    std::string destination = m_destination;
    if (!IsSeparator(destination.back()) && PathExists(destination)) destination += "/";
    SplitFilePath dst = SplitFileTagPath(destination);
    std::string dstFile = JoinNameAndExtension(dst.name, dst.ext);
    if (dst.dir.empty()) dst.dir = src.dir;
    if (dstFile.empty()) dstFile = srcFile;
    m_source = JoinDirectoryAndName(src.dir, srcFile);
    CheckPath(m_source);
    CheckFileExists(m_source);
    m_destination = JoinDirectoryAndName(dst.dir, dstFile);
    CheckPath(m_destination);
}

void CFileTag::MoveOrRename() {
    ResolveSourceAndDestination();
    long err = plat::MoveFileReplacing(m_source, m_destination, m_host.files->Check());
    if (err != plat::ERROR_SUCCESS)
        Fail(WindowsError(err, CWebMessage("move file '") + m_source + "' to the path '" + m_destination + "'"));
}

void CFileTag::Copy() {
    ResolveSourceAndDestination();
    long err = plat::CopyFileReplacing(m_source, m_destination, m_host.files->Check());
    if (err != plat::ERROR_SUCCESS)
        Fail(WindowsError(err, CWebMessage("copy file '") + m_source + "' to the path '" + m_destination + "'"));
}

void CFileTag::Delete() {
    if (UpperCopy(m_file).find("TSFILE.LOG") != std::string::npos)
        Fail(
            "You have attempted to delete a file with the name TSFILE.LOG. Tessaro does not allow deletion of files "
            "with that name.");
    RequireFile();
    CheckPath(m_file);
    CheckFileExists(m_file);
    long err = plat::DeleteCheckedFile(m_file, m_host.files->Check());
    if (err != plat::ERROR_SUCCESS) Fail(WindowsError(err, CWebMessage("delete the file '") + m_file + "'"));
}

void CFileTag::CheckAccepted(const CUploadedFile& upload) const {
    if (m_acceptTypes.empty()) return;
    std::string type = UpperCopy(upload.ContentType), subtype = UpperCopy(upload.ContentSubType);
    bool accepted = false;
    for (std::size_t i = 0; i < m_acceptTypes.size() && !accepted; ++i)
        accepted = (m_acceptTypes[i] == "*" || m_acceptTypes[i] == type) &&
                   (m_acceptSubTypes[i] == "*" || m_acceptSubTypes[i] == subtype);
    // A declared type whose content says otherwise is not the type accepted.
    if (accepted) accepted = ContentMatchesDeclaredType(upload, type, subtype);
    if (!accepted)
        Fail(CWebMessage("The MIME type of the uploaded file (") + upload.ContentType + "/" + upload.ContentSubType +
             ") was not accepted by the server. Please verify that you are uploading a file of the appropriate type.");
}

bool CFileTag::AcceptsTemplates() const {
    for (const std::string& subtype : m_acceptSubTypes)
        if (subtype == "X-TSML" || subtype == "X-KSML") return true;
    return false;
}

void CFileTag::Upload() {
    if (m_fileField.empty())
        Fail(
            "In order to upload a file from a form submission you must specify a FILEFIELD attribute to indicate "
            "which form field contains the uploaded file.<P>For example, if the input file containing the uploaded "
            "file is named 'FileContents' you would use the syntax: FILEFIELD=\"FileContents\"");
    CFormFieldList& fields = m_host.request->GetFormFields();
    CUploadedFile* upload = fields.IsFileField(m_fileField) ? fields.GetFilePath(m_fileField) : nullptr;
    if (upload == nullptr)
        Fail(CWebMessage("The form field specified in the TSFILE tag (") + m_fileField +
                 ") does not contain an uploaded file. Please be sure that you have specified the correct form field "
                 "name.",
             kUploadInputTitle);
    CheckAccepted(*upload);
    Set("ContentType", upload->ContentType);
    Set("ContentSubType", upload->ContentSubType);
    Set("ClientDirectory", upload->ClientDirectory);
    Set("ClientFileName", upload->ClientFileName);
    Set("ClientFileExt", upload->ClientFileExt);
    // As the name is saved under: a name without extension gets no dot.
    Set("ClientFile", JoinNameAndExtension(upload->ClientFileName, upload->ClientFileExt));

    std::string destination = TrimmedCopy(m_destination);
    m_destination = destination;
    // A folder: an existing one, or a last component without a dot.
    if (!destination.empty() && !IsSeparator(destination.back())) {
        std::size_t slash = destination.find_last_of("/\\");
        std::string last = slash == std::string::npos ? destination : destination.substr(slash + 1);
        if (PathExists(destination) || last.find('.') == std::string::npos) destination += "/";
    }
    SplitFilePath split = SplitFileTagPath(destination);
    std::string file =
        split.name.empty() && split.ext.empty() ? std::string() : JoinNameAndExtension(split.name, split.ext);
    if (split.dir.empty())
        Fail(
            "No directory was specified in the DESTINATION attribute. This attribute is required for processing "
            "uploaded files.");
    CheckPath(destination);
    if (!PathExists(split.dir))
        Fail(CWebMessage("The directory specified in the DESTINATION attribute of the TSFILE tag (") + m_destination +
                 ") is not valid. The directory either does not exist or is not accessible by the Tessaro service.",
             kUploadInputTitle);
    Save(*upload, split.dir, file);
}

void CFileTag::SetServerFile(const std::string& dir, const std::string& file, std::uint64_t size) {
    SplitFilePath split = SplitFileTagPath(file);
    Set("ServerDirectory", dir);
    Set("ServerFile", file);
    Set("ServerFileName", split.name);
    Set("ServerFileExt", split.ext);
    Set("FileSize", std::to_string(size));
}

bool CFileTag::Save(const CUploadedFile& upload, std::string dir, std::string file) {
    for (const char* flag : {"FileWasSaved", "FileWasOverwritten", "FileWasAppended", "FileWasRenamed"})
        Set(flag, "No");
    if (dir.size() > 1 && IsSeparator(dir.back())) dir.pop_back();
    Set("ServerDirectory", dir);
    Set("AttemptedServerFile", file);
    if (file.empty()) file = JoinNameAndExtension(upload.ClientFileName, upload.ClientFileExt);
    if (upload.TempFilePath.empty() || GetFileSizeByName(upload.TempFilePath) == 0)
        Fail(CWebMessage("No data was received in the uploaded file '") + upload.ClientDirectory + "\\" +
             upload.ClientFileName + "." + upload.ClientFileExt +
             "' Saving empty (zero-length) files is prohibitted. Please make sure you specified the correct file. ");
    std::string path = JoinDirectoryAndName(dir, file);
    CheckPath(path);
    // A name the system would store with a line end or a tab in it is no name to save under.
    auto checkControls = [&](const std::string& name) {
        if (HasControlCharacter(name))
            Fail(CWebMessage("The file '") + name +
                 "' could not be uploaded because its name holds a control character.");
    };
    checkControls(file);
    auto fail = [&](long error, const std::string& target) {
        Fail(CWebMessage("Error attempting to save uploaded file to path '") + target + "' (" +
             plat::WindowsErrorText(error) + ")." + NotReplacedReason(error));
    };
    auto alreadyExists = [&] {
        Fail(CWebMessage("The file '") + file +
             "' could not be uploaded because a file of that name already exists (note: you can use the "
             "NAMECONFLICT attribute of the TSFILE tag to prevent this error from occurring).");
    };
    // The folder is opened and judged once; everything after happens inside it.
    plat::CheckedFolder folder;
    if (long err = plat::OpenCheckedFolder(dir, m_host.files->Check(), &folder); err != plat::ERROR_SUCCESS)
        fail(err, path);

    bool replace = false, unique = false;
    plat::FileStatus existing;
    long statError = plat::GetEntryStatus(folder, file, &existing);
    if (statError == plat::ERROR_FILE_NOT_FOUND) {
        Set("FileExisted", "No");
    } else if (statError != plat::ERROR_SUCCESS) {
        fail(statError, path);
    } else {
        Set("FileExisted", "Yes");
        Set("TimeCreated", LocalTimestampLiteral(existing.created));
        Set("TimeLastModified", LocalTimestampLiteral(existing.modified));
        Set("DateLastAccessed", plat::FormatLocalTime(existing.accessed, "{d '%Y-%m-%d'}"));
        Set("OldFileSize", std::to_string(existing.size));
        switch (m_nameConflict) {
            case kSkip:
                return false;
            case kOverwrite:
                if (existing.isDirectory) fail(plat::ERROR_ACCESS_DENIED, path);
                replace = true;
                Set("FileWasOverwritten", "Yes");
                break;
            case kMakeUnique:
                unique = true;
                Set("FileWasRenamed", "Yes");
                break;
            default:
                alreadyExists();
        }
    }
    // A name that would run as a template is saved only when ACCEPT asked for templates:
    // a declared type and a matching first few bytes say nothing about what the engine runs.
    auto checkSavedName = [&](const std::string& name) {
        checkControls(name);
        if (NamesATemplate(name) && !AcceptsTemplates())
            Fail(CWebMessage("The file '") + name +
                 "' could not be uploaded because its name is that of a template. Name a template type (for "
                 "example 'text/x-tsml') in the ACCEPT attribute of the TSFILE tag to accept templates.");
    };
    checkSavedName(unique ? JoinNameAndExtension("BTS", upload.ClientFileExt) : file);
    long err;
    if (unique) {
        std::string chosen;
        err = plat::SaveCopyUnderUniqueName(upload.TempFilePath, folder, "BTS", upload.ClientFileExt, &chosen);
        if (err == plat::ERROR_SUCCESS) file = chosen;
    } else {
        // Only OVERWRITE replaces a file; otherwise the name is taken only while it is free.
        err = plat::SaveCopyInFolder(upload.TempFilePath, folder, file, replace, m_host.files->Check());
    }
    if (err == plat::ERROR_FILE_EXISTS && !replace && !unique) {
        // Another request took the name since it was looked at (two uploads of one name at
        // once): the conflict rule decides as if the file had been there, so SKIP leaves it,
        // OVERWRITE replaces it, MAKEUNIQUE saves under a fresh name and ERROR reports it.
        Set("FileExisted", "Yes");
        switch (m_nameConflict) {
            case kSkip:
                return false;
            case kOverwrite:
                Set("FileWasOverwritten", "Yes");
                err = plat::SaveCopyInFolder(upload.TempFilePath, folder, file, true, m_host.files->Check());
                break;
            case kMakeUnique: {
                checkSavedName(JoinNameAndExtension("BTS", upload.ClientFileExt));
                std::string chosen;
                err = plat::SaveCopyUnderUniqueName(upload.TempFilePath, folder, "BTS", upload.ClientFileExt, &chosen);
                if (err == plat::ERROR_SUCCESS) file = chosen;
                Set("FileWasRenamed", "Yes");
                break;
            }
            default:
                alreadyExists();
        }
    }
    if (err != plat::ERROR_SUCCESS) fail(err, path);
    Set("FileWasSaved", "Yes");
    plat::FileStatus placed;
    SetServerFile(dir, file, plat::GetEntryStatus(folder, file, &placed) == plat::ERROR_SUCCESS ? placed.size : 0);
    return true;
}

void CFileTag::LogAction() const {
    std::string action = UpperCopy(m_action);
    std::string line = action;
    if (action == "UPLOAD")
        line += " (Destination: " + m_destination;
    else if (action == "MOVE" || action == "RENAME" || action == "COPY")
        line += " (Source: " + m_source + ", Destionation: " + m_destination;
    else
        line += " (File: " + m_file;
    line += ", Remote Address: " + m_host.request->GetCgiVariable("REMOTE_ADDR") +
            ", Template: " + m_host.templatePath + ")";
    WriteTraceLog(kLogName, "Information", line);
}
