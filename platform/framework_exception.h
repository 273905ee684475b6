// The exception classes of the application framework the engine is written
// against: thrown by pointer, deleted by the catcher with Delete().
#pragma once

#include <string>

class CException {
public:
    virtual ~CException() = default;
    // The text shown for the error.
    virtual std::string GetErrorMessage() const { return std::string(); }
    virtual const char* GetTypeName() const { return "CException"; }
    void Delete() { delete this; }

protected:
    CException() = default;
    CException(const CException&) = default;
    CException& operator=(const CException&) = default;
};

class CMemoryException : public CException {
public:
    std::string GetErrorMessage() const override { return "Out of memory."; }
    const char* GetTypeName() const override { return "CMemoryException"; }
};

class CFileException : public CException {
public:
    // Causes with the framework's numbers.
    enum Cause {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    explicit CFileException(int cause = none, long osError = -1, std::string fileName = {})
        : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}

    // The cause text (see GetFileExceptionText).
    std::string GetErrorMessage() const override;
    const char* GetTypeName() const override { return "CFileException"; }

    // The cause for an errno value / a Windows error number.
    static int CauseFromErrno(int errnoValue);
    static int CauseFromWindowsError(long errorNumber);
    // The cause for the last failed system or C library call of this thread.
    static int CauseFromLastError();

    int m_cause;
    long m_lOsError;
    std::string m_strFileName;
};

// The cause texts 0-14; other causes give an empty text.
std::string GetFileExceptionText(int cause);
