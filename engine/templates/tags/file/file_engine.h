// TSFILE: one tag's attributes and the action its end runs (upload, write,
// append, read, move, rename, copy, delete). Results of an upload go to the
// FILE scope; READ fills a template variable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/web_message.h"

class CRequestReader;
class CRuntimeFileGate;
class CUploadedFile;

// What the tag reaches of its page.
struct FileTagHost {
    CRequestReader* request = nullptr;
    // The private files no action may touch (never null).
    const CRuntimeFileGate* files = nullptr;
    // The largest file READ takes (Server\MaxFunctionResultBytes).
    std::size_t maxReadBytes = 0;
    std::function<void(const std::string& name, const std::string& value)> setFileVariable;
    std::function<void(const std::string& name, const std::string& value)> setVariable;
    bool logActions = false;
    std::string templatePath;
};

class CFileTag {
public:
    enum NameConflict { kError = 1, kSkip = 2, kOverwrite = 3, kMakeUnique = 5 };

    // Sets every FILE-scope result variable to "".
    explicit CFileTag(FileTagHost host);
    virtual ~CFileTag() = default;

    void SetAction(const std::string& value) { m_action = value; }
    void SetFile(const std::string& value) { m_file = value; }
    void SetFileField(const std::string& value) { m_fileField = value; }
    void SetSource(const std::string& value) { m_source = value; }
    void SetDestination(const std::string& value) { m_destination = value; }
    void SetOutput(const std::string& value) { m_output = value; }
    void SetVariable(const std::string& value) { m_variable = value; }
    void SetAccept(const std::string& value);
    void SetNameConflict(const std::string& value);

    // Runs the action, then writes the action log line when asked to.
    void Execute();

private:
    void Upload();
    void WriteText(bool append);
    void ReadText();
    void MoveOrRename();
    void Copy();
    void Delete();

    void RequireFile() const;
    // The sequences that climb out of a folder, in the path as given and as it
    // reads once percent-decoded; and the runtime root's private files.
    void CheckPath(const std::string& path) const;
    void CheckFileExists(const std::string& path) const;
    void ResolveSourceAndDestination();
    void CheckAccepted(const CUploadedFile& upload) const;
    // True when ACCEPT names a template type (a subtype x-tsml or x-ksml).
    bool AcceptsTemplates() const;
    // Saves the upload as dir/file per NAMECONFLICT; false when SKIP left it.
    bool Save(const CUploadedFile& upload, std::string dir, std::string file);
    void SetServerFile(const std::string& dir, const std::string& file, std::uint64_t size);
    void Set(const char* name, const std::string& value) { m_host.setFileVariable(name, value); }
    // Throws with the tag's usual title, or the one given.
    [[noreturn]] void Fail(const CWebMessage& detail, const CWebMessage& title = "Error processing TSFILE tag") const;
    void LogAction() const;

    FileTagHost m_host;
    std::string m_action, m_file, m_fileField, m_source, m_destination, m_output, m_variable;
    int m_nameConflict = kError;
    std::vector<std::string> m_acceptTypes, m_acceptSubTypes;
};

// A path split into directory (no trailing separator), name without extension
// and extension without its dot.
struct SplitFilePath {
    std::string dir, name, ext;
};
SplitFilePath SplitFileTagPath(const std::string& path);
// name + "." + ext, or name alone when ext is empty.
std::string JoinNameAndExtension(const std::string& name, const std::string& ext);
// dir + separator + name (no separator doubled).
std::string JoinDirectoryAndName(const std::string& dir, const std::string& name);
