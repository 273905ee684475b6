// A whole file mapped read-only into memory.
#pragma once

#include <cstddef>
#include <string>

namespace tessaro::platform {

class FileMapping {
public:
    // The step that failed, so that callers can word their own message.
    enum class Failure { None, Open, Size, Create, View };

    FileMapping() = default;
    ~FileMapping();
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    // Maps the file at path (with '/' separators). An empty file, a folder or
    // anything else that is not a plain file fails at Create; a FIFO is refused
    // without waiting for a writer. On failure *errorNumber holds the Windows error number.
    Failure Map(const std::string& path, long* errorNumber);

    const char* Data() const { return static_cast<const char*>(m_view); }
    std::size_t Size() const { return m_size; }

    // The whole pages of the view before offset leave memory; touched again, they are read
    // from the file once more. For a reader that goes through a large file once.
    void ReleasePagesBefore(std::size_t offset);

private:
    void Unmap();
    int m_fd = -1;
    void* m_view = nullptr;
    std::size_t m_size = 0;
};

}  // namespace tessaro::platform
