// A whole file mapped read-only into memory.
#pragma once

#include <cstddef>
#include <string>

#include "platform/file_mapping.h"
#include "platform/framework_exception.h"

class CMappedFileException : public CException {
public:
    CMappedFileException(long errorNumber, const char* text) : m_errorNumber(errorNumber), m_text(text ? text : "") {}
    long GetErrorNumber() const { return m_errorNumber; }
    const std::string& GetText() const { return m_text; }
    std::string GetErrorMessage() const override { return m_text; }
    const char* GetTypeName() const override { return "CMappedFileException"; }

private:
    long m_errorNumber;
    std::string m_text;
};

class CMappedFile {
public:
    // Maps path (either separator); throws CMappedFileException* with the Windows
    // error number and one of "Error attempting to open file to be mapped.",
    // "... determine size of file to be mapped.", "... create file mapping."
    // (also for an empty file) or "... map view of file.".
    explicit CMappedFile(const std::string& path);
    ~CMappedFile();
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    const char* GetData() const { return m_mapping.Data(); }
    std::size_t GetSize() const { return m_mapping.Size(); }
    // The pages before offset leave memory (read again from the file when touched).
    void ReleasePagesBefore(std::size_t offset) { m_mapping.ReleasePagesBefore(offset); }

private:
    tessaro::platform::FileMapping m_mapping;
};
